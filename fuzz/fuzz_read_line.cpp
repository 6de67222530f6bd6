// The line reader on any bytes: lines hold no ending byte and the reader always moves on.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "board/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t before = pos;
        const std::string_view line = ReadLine(bytes, pos);
        if (pos <= before || pos > bytes.size() || line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
            std::abort();
    }
    if (!ReadLine(bytes, pos).empty() || pos != bytes.size())
        std::abort();
    (void)SettingsFromFile(bytes);
    return 0;
}
