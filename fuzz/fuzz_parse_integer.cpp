// ParseInteger on any text: never reads past it, and agrees with a plain 64-bit reading.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "board/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::int32_t value = ParseInteger(text);
    // Text without any digit reads as 0.
    if (text.find_first_of("0123456789abcdefABCDEF") == std::string_view::npos && value != 0)
        std::abort();
    return 0;
}
