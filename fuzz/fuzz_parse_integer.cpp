// ParseInteger on any text: never reads past it, and agrees with a plain reading written here,
// which finds the digits with the standard library's own number parsing, chunk by chunk, and
// keeps the low 32 bits of the value at the end.
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "board/settings.h"

namespace {

std::int32_t PlainReading(std::string_view text)
{
    const std::size_t start = text.find_first_not_of(" \t");
    text.remove_prefix(start == std::string_view::npos ? text.size() : start);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$')
        base = 16;
    else if (!text.empty() && text.front() == '%')
        base = 2;
    if (base != 10)
        text.remove_prefix(1);
    // Chunks short enough for 64 bits in any base; the value is kept modulo 2^32 between them.
    constexpr std::size_t Chunk = 15;
    constexpr std::uint64_t Modulus = std::uint64_t{1} << 32;
    std::uint64_t value = 0;
    for (;;) {
        const std::string_view chunk = text.substr(0, Chunk);
        std::uint64_t part = 0;
        const auto [end, error] = std::from_chars(chunk.data(), chunk.data() + chunk.size(), part, base);
        const auto digits = static_cast<std::size_t>(end - chunk.data());
        if (error != std::errc() || digits == 0)
            break;
        std::uint64_t scale = 1;
        for (std::size_t i = 0; i < digits; ++i)
            scale = scale * static_cast<std::uint64_t>(base) % Modulus;
        value = (value * scale + part % Modulus) % Modulus;
        if (digits < chunk.size() || chunk.size() < Chunk)
            break;
        text.remove_prefix(digits);
    }
    if (negative)
        value = (Modulus - value) % Modulus;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (ParseInteger(text) != PlainReading(text))
        std::abort();
    return 0;
}
