// The board's replies to Q, N, S, P and T read as data, from the raw reply (Windows-1252 decoded,
// nothing cleaned: names keep their blanks). A reply that is not the request echoed, a colon and
// data of the form the reference gives (an error reply, a short or malformed one, or one of
// another request's that came late) reads as nothing: unknown, never a wrong value.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The requests, as the board takes them: N's id in two hexadecimal digits, T's in decimal (two
// digits at least), S's and P's page as one digit.
std::string EntryRequest(int id);
std::string PageNameRequest(int page);
std::string StatesRequest(int page);
std::string ToggleRequest(int id);

struct EntryInfo {
    bool switchable = false;   // 'O', a board output, switched with T; 'I' is an input
    int page = 0;          // 0 to 9, as the digit gives it
    int place = 0;
    std::string name;
};

// Q: the number of entries (hexadecimal).
std::optional<int> ParseCountReply(std::string_view raw);
// N<id>: the entry's type, page, place and name.
std::optional<EntryInfo> ParseEntryReply(std::string_view raw, int id);
// S<page>: the page's name.
std::optional<std::string> ParsePageNameReply(std::string_view raw, int page);
// P<page>: the states of the page's `count` entries, four hexadecimal digits each (not 0: on), in
// the order N lists them. A board may answer a fixed block of values: those past the page's
// entries are not theirs; a shorter reply leaves the entries past its end unknown.
std::optional<std::vector<std::optional<bool>>> ParseStatesReply(std::string_view raw, int page, std::size_t count);
// T<id>: the entry's new state.
std::optional<bool> ParseToggleReply(std::string_view raw, int id);
