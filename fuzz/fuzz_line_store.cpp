// The output's line store driven by any bytes (append, clear, read back) against a plain list of
// lines, with four-byte offsets and with one-byte offsets that wrap every 256 bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "utils/line_store.h"

namespace {

template <typename Store>
void Check(const Store& store, const std::vector<std::string>& lines, std::uint32_t widest, std::size_t from)
{
    if (store.Count() != lines.size() || store.WidestWidth() != widest)
        std::abort();
    for (std::size_t i = from; i < lines.size(); ++i)
        if (store.Line(i) != lines[i])
            std::abort();
}

template <typename Store>
void Run(std::string_view bytes)
{
    Store store;
    std::vector<std::string> lines;
    std::uint32_t widest = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto op = static_cast<std::uint8_t>(bytes[pos++]);
        if (op == 0xFF) {
            store.Clear();
            lines.clear();
            widest = 0;
            if (store.Footprint() != 0)
                std::abort();
        } else if (op >= 0xF0 && !lines.empty() && pos < bytes.size()) {
            // A joined range, checked against the list.
            const std::size_t first = static_cast<std::uint8_t>(bytes[pos++]) % lines.size();
            const std::size_t end = std::min(lines.size(), first + (op & 0x0F));
            std::string joined;
            for (std::size_t i = first; i < end; ++i)
                joined += (i > first ? "\n" : "") + lines[i];
            if (store.Text(first, end) != joined)
                std::abort();
        } else {
            // op is the length, scaled so that lines of several hundred bytes occur.
            const std::size_t length = std::min<std::size_t>(op % 0xF0 * (op & 1 ? 5 : 1), bytes.size() - pos);
            const std::string_view line = bytes.substr(pos, length);
            pos += length;
            const std::uint32_t width = op * 7u;
            store.Append(line, width);
            lines.emplace_back(line);
            widest = std::max(widest, width);
            Check(store, lines, widest, lines.size() - 1);
        }
    }
    Check(store, lines, widest, 0);
    std::size_t bytesHeld = 0;
    for (const std::string& line : lines)
        bytesHeld += line.size();
    if (store.TextSize() != bytesHeld)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Run<LineStore>(bytes);
    Run<BasicLineStore<std::uint8_t>>(bytes);
    return 0;
}
