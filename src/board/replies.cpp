// Reading the board's replies as data.
#include "board/replies.h"

#include <cstdio>

namespace {

// The data after the request's echo and the colon, without the line end; none when the reply
// is not of that request.
std::optional<std::string_view> DataOf(std::string_view raw, std::string_view request)
{
    while (!raw.empty() && (raw.back() == '\r' || raw.back() == '\n'))
        raw.remove_suffix(1);
    if (raw.size() <= request.size() || !raw.starts_with(request) || raw[request.size()] != ':')
        return std::nullopt;
    return raw.substr(request.size() + 1);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

std::string EntryRequest(int id)
{
    char request[8];
    std::snprintf(request, sizeof request, "N%02X", static_cast<unsigned>(id) & 0xFF);
    return request;
}

std::string PageNameRequest(int page)
{
    return "S" + std::to_string(page);
}

std::string StatesRequest(int page)
{
    return "P" + std::to_string(page);
}

std::string ToggleRequest(int id)
{
    char request[8];
    std::snprintf(request, sizeof request, "T%02d", id);
    return request;
}

std::optional<int> ParseCountReply(std::string_view raw)
{
    const std::optional<std::string_view> data = DataOf(raw, "Q");
    if (!data || data->empty() || data->size() > 2)
        return std::nullopt;
    int count = 0;
    for (const char c : *data) {
        if (HexDigit(c) < 0)
            return std::nullopt;
        count = count * 16 + HexDigit(c);
    }
    return count;
}

std::optional<EntryInfo> ParseEntryReply(std::string_view raw, int id)
{
    const std::optional<std::string_view> data = DataOf(raw, EntryRequest(id));
    if (!data || data->size() < 3 || ((*data)[0] != 'I' && (*data)[0] != 'O') || !IsDigit((*data)[1])
        || !IsDigit((*data)[2]))
        return std::nullopt;
    return EntryInfo{(*data)[0] == 'O', (*data)[1] - '0', (*data)[2] - '0', std::string(data->substr(3))};
}

std::optional<std::string> ParsePageNameReply(std::string_view raw, int page)
{
    const std::optional<std::string_view> data = DataOf(raw, PageNameRequest(page));
    // An error reply is a data field too: it is told by its form alone.
    if (!data || *data == "ERR")
        return std::nullopt;
    return std::string(*data);
}

std::optional<std::vector<std::optional<bool>>> ParseStatesReply(std::string_view raw, int page, std::size_t count)
{
    const std::optional<std::string_view> data = DataOf(raw, StatesRequest(page));
    // Whole values only: a reply cut inside one is not of this form.
    if (!data || data->empty() || data->size() % 4 != 0)
        return std::nullopt;
    std::vector<std::optional<bool>> states(count);
    for (std::size_t at = 0; at < data->size(); at += 4) {
        int value = 0;
        for (const char c : data->substr(at, 4)) {
            if (HexDigit(c) < 0)
                return std::nullopt;
            value = value * 16 + HexDigit(c);
        }
        if (at / 4 < count)
            states[at / 4] = value != 0;
    }
    return states;
}

std::optional<bool> ParseToggleReply(std::string_view raw, int id)
{
    const std::optional<std::string_view> data = DataOf(raw, ToggleRequest(id));
    if (!data || (*data != "0" && *data != "1"))
        return std::nullopt;
    return *data == "1";
}
