// The simulated board's contents and the replies to Q, N, P, S, F, C and T.
#include "sim_board.h"

#include "netio_sim.h"

#include <charconv>
#include <ctime>
#include <optional>

namespace netio::sim {
namespace {

// Digits only, at most `maxDigits`, in the given base; nothing else accepted.
std::optional<std::size_t> ParseNumber(std::string_view text, int base, std::size_t maxDigits)
{
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    std::size_t value = 0;   // unsigned, so that a minus sign is refused
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string Hex(unsigned value, int digits)
{
    static constexpr char symbols[] = "0123456789ABCDEF";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = symbols[value & 0xF];
    return text;
}

}  // namespace

Board::Board()
    : entries_{
          {'I', 0, 0, "Taster1", 3},
          {'I', 0, 1, "Taster2", 5},
          {'O', 0, 2, "Relais 1", 0},
          {'O', 0, 3, "Relais 2", 0},
          {'O', 1, 0, "Lampe Flur", 0},
          // A blank and a letter beyond ASCII, Windows-1252 on the wire as on the real board.
          {'O', 1, 1, "Lampe K\xFC" "che", 0},
          {'I', 1, 2, "Fenster", 7},
          {'O', 2, 0, "Pumpe", 0},
          {'I', 2, 1, "Regen", 4},
          {'O', 3, 0, "Tor", 0},
      },
      pageNames_{"Seite 1", "Seite 2", "Garten", "Hof und Tor", "Reserve", "Service"}
{
}

Reply Board::Answer(std::string_view command, std::chrono::system_clock::time_point now)
{
    Reply reply{std::string(command), std::string(ErrorData)};
    if (command.empty())
        return reply;
    const char letter = command.front();
    const std::string_view arg = command.substr(1);
    const std::size_t count = entries_.size();

    if (letter == 'Q' && arg.empty()) {
        reply.data = Hex(static_cast<unsigned>(count), 2);
    } else if (letter == 'F' && arg.empty()) {
        reply.data = FirmwareVersion;
    } else if (letter == 'C' && arg.empty()) {
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        std::tm local{};
        localtime_r(&seconds, &local);
        reply.data = Hex(static_cast<unsigned>(local.tm_hour), 2) + Hex(static_cast<unsigned>(local.tm_min), 2)
                     + Hex(static_cast<unsigned>(local.tm_sec), 2);
    } else if (letter == 'N') {
        if (const auto id = ParseNumber(arg, 16, 2); id && *id < count) {
            const Entry& entry = entries_[*id];
            reply.data = entry.kind + std::to_string(entry.page) + std::to_string(entry.place) + entry.name;
        }
    } else if (letter == 'P' || letter == 'S') {
        if (const auto page = ParseNumber(arg, 10, 1); page && *page < pageNames_.size())
            reply.data = letter == 'P' ? States(static_cast<int>(*page), now) : pageNames_[*page];
    } else if (letter == 'T') {
        // The id is decimal here, unlike N's.
        if (const auto id = ParseNumber(arg, 10, 2); id && Toggle(*id))
            reply.data = entries_[*id].on ? "1" : "0";
    }
    return reply;
}

bool Board::IsOn(std::size_t index, std::chrono::system_clock::time_point now) const
{
    const Entry& entry = entries_.at(index);
    if (entry.kind == 'O')
        return entry.on;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    return (seconds / entry.flipSeconds) % 2 == 1;
}

bool Board::Toggle(std::size_t index)
{
    if (index >= entries_.size() || entries_[index].kind != 'O')
        return false;
    entries_[index].on = !entries_[index].on;
    return true;
}

std::string Board::States(int page, std::chrono::system_clock::time_point now) const
{
    std::string states;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].page == page)
            states += Hex(IsOn(i, now) ? 1 : 0, 4);
    return states;
}

}  // namespace netio::sim
