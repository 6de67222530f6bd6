// The simulated board's entries and pages, and its answer to one command. No sockets, no timing:
// the password, the faults and the line ends belong to the connection (netio_sim.cpp).
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace netio::sim {

inline constexpr std::string_view FirmwareVersion = "020103";

struct Entry {
    char kind;          // 'I' virtual input, 'O' output
    int page;           // 0..5
    int place;          // 0..9 on its page
    std::string name;
    int flipSeconds;    // inputs: their state flips every this many seconds
    bool on = false;    // outputs: toggled by T
};

struct Reply {
    std::string echo;   // the request as received
    std::string data;   // ErrorData when not understood
};

class Board {
public:
    Board();

    // `now` drives the clock reply and the inputs, which change by themselves.
    Reply Answer(std::string_view command, std::chrono::system_clock::time_point now);

    const std::vector<Entry>& Entries() const { return entries_; }
    const std::vector<std::string>& PageNames() const { return pageNames_; }
    // The state P reports for entry `index`.
    bool IsOn(std::size_t index, std::chrono::system_clock::time_point now) const;
    // What T does: switches output `index` over; false for an input or an unknown index.
    bool Toggle(std::size_t index);

private:
    std::string States(int page, std::chrono::system_clock::time_point now) const;

    std::vector<Entry> entries_;
    std::vector<std::string> pageNames_;
};

}  // namespace netio::sim
