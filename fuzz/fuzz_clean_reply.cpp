// Reply cleaning on any bytes: no blank, CR or LF survives and every other byte keeps its order.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "board/codepage.h"
#include "board/connection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string reply = CleanReply(bytes);
    if (reply.find_first_of(" \r\n") != std::string::npos || reply.size() > bytes.size())
        std::abort();
    std::size_t at = 0;
    for (char c : bytes)
        if (c != ' ' && c != '\r' && c != '\n' && reply[at++] != c)
            std::abort();
    // What is shown maps back to exactly the bytes received.
    if (Utf8ToWindows1252(Windows1252ToUtf8(reply)) != reply)
        std::abort();
    return 0;
}
