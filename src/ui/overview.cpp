// The overview's reading, its cadence and its table.
#include "ui/overview.h"

#include <array>
#include <ctime>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "board/connection.h"
#include "board/replies.h"
#include "platform/file.h"
#include "platform/window.h"
#include "ui/main_window.h"
#include "ui/running_log.h"

namespace {

constexpr std::string_view Title = "Varnex-NET-IO: Board-Übersicht";
constexpr std::array<std::string_view, 5> Headers = {"Seite", "Platz", "Art", "Name", "Zustand"};
constexpr std::array<int, 5> ColumnWidths = {110, 45, 75, 150, 70};
constexpr int ClientWidth = 500;
constexpr int ClientHeight = 300;
constexpr std::string_view Unknown = "?";
constexpr int Pages = 10;   // as many as N's page digit can name

enum class Column { Page, Place, Kind, Name, State };

// What a read asks the board for: Q, N, S or P.
enum class Asked { Count, Entry, PageName, States };

struct Request {
    Asked asked;
    int number;    // the entry's id or the page
};

struct Entry {
    std::optional<EntryInfo> info;
    std::optional<bool> on;
    std::optional<SteadyTime> changedAt;   // highlighted until OverviewHighlight after
};

struct OverviewState {
    bool open = false;
    std::vector<Entry> entries;
    std::array<std::optional<std::string>, Pages> pageNames;
    std::deque<Request> due;
    bool readAll = false;                  // everything has been read once
    std::optional<SteadyTime> nextStates;
    std::optional<WallClock::time_point> heard;   // when the board last answered the overview
};

OverviewState State;

std::vector<int> EntriesOfPage(int page)
{
    std::vector<int> ids;
    for (std::size_t id = 0; id < State.entries.size(); ++id)
        if (State.entries[id].info && State.entries[id].info->page == page)
            ids.push_back(static_cast<int>(id));
    return ids;
}

std::vector<int> PagesWithEntries()
{
    std::vector<int> pages;
    for (int page = 0; page < Pages; ++page)
        if (!EntriesOfPage(page).empty())
            pages.push_back(page);
    return pages;
}

std::string CellText(const Entry& entry, Column column)
{
    if (column == Column::State)
        return entry.on ? (*entry.on ? "ein" : "aus") : std::string(Unknown);
    if (!entry.info)
        return std::string(Unknown);
    switch (column) {
    case Column::Page:
        return State.pageNames[static_cast<std::size_t>(entry.info->page)].value_or(std::string(Unknown));
    case Column::Place:
        return std::to_string(entry.info->place);
    case Column::Kind:
        return entry.info->switchable ? "Ausgang" : "Eingang";
    case Column::Name:
        return entry.info->name;
    case Column::State:
        break;
    }
    return {};
}

void ShowRow(int row)
{
    const Entry& entry = State.entries[static_cast<std::size_t>(row)];
    for (int column = 0; column < static_cast<int>(Headers.size()); ++column)
        SetTableCell(row, column, CellText(entry, static_cast<Column>(column)));
}

void ShowStatus()
{
    std::string status = LinkIsUp() ? (State.readAll ? "Verbunden" : "Die Einträge werden gelesen …")
                                    : "Keine Verbindung zum Board";
    if (State.heard)
        status += " – zuletzt vom Board gehört um " + LocalTimeText(*State.heard, "%H:%M:%S");
    SetTableStatus(status);
}

void SetState(int id, std::optional<bool> on, SteadyTime now)
{
    Entry& entry = State.entries[static_cast<std::size_t>(id)];
    // A change seen stands out; the first state read is no change.
    if (on && entry.on && *on != *entry.on) {
        entry.changedAt = now;
        SetTableRowHighlighted(id, true);
    }
    entry.on = on;
    SetTableCell(id, static_cast<int>(Column::State), CellText(entry, Column::State));
}

void ReadAllAnew()
{
    State.entries.clear();
    State.pageNames = {};
    State.due = {{Asked::Count, 0}};
    State.readAll = false;
    State.nextStates.reset();
    SetTableRows(0);
    ShowStatus();
}

// One exchange of the overview's, logged as the overview's and never shown in the output. The raw
// reply, when one came.
std::optional<std::string> OverviewExchange(const std::string& request)
{
    Log(LogEvent::OverviewCommand, request);
    const Exchange exchange = ExchangeCommand(request);
    if (exchange.outcome != ExchangeOutcome::Replied)
        return std::nullopt;
    if (!exchange.replyTime) {
        Log(LogEvent::OverviewNoReply);
        return std::nullopt;
    }
    Log(LogEvent::OverviewReply, exchange.reply, exchange.replyTime);
    State.heard = WallClock::now();
    return exchange.raw;
}

// Reads one request's reply into the table; false when the link is lost meanwhile.
bool Read(const Request& request, SteadyTime now)
{
    switch (request.asked) {
    case Asked::Count: {
        const std::optional<std::string> raw = OverviewExchange("Q");
        if (!LinkIsUp())
            return false;
        const std::optional<int> count = raw ? ParseCountReply(*raw) : std::nullopt;
        if (!count) {
            // No count, no entries: asked again with the next round.
            State.due.push_back({Asked::Count, 0});
            return true;
        }
        State.entries.assign(static_cast<std::size_t>(*count), Entry{});
        SetTableRows(*count);
        for (int id = 0; id < *count; ++id) {
            ShowRow(id);
            State.due.push_back({Asked::Entry, id});
        }
        if (*count == 0)
            State.readAll = true;
        return true;
    }
    case Asked::Entry: {
        const std::optional<std::string> raw = OverviewExchange(EntryRequest(request.number));
        State.entries[static_cast<std::size_t>(request.number)].info =
            raw ? ParseEntryReply(*raw, request.number) : std::nullopt;
        ShowRow(request.number);
        if (request.number + 1 == static_cast<int>(State.entries.size())) {
            for (const int page : PagesWithEntries())
                State.due.push_back({Asked::PageName, page});
            for (const int page : PagesWithEntries())
                State.due.push_back({Asked::States, page});
        }
        return LinkIsUp();
    }
    case Asked::PageName: {
        const std::optional<std::string> raw = OverviewExchange(PageNameRequest(request.number));
        State.pageNames[static_cast<std::size_t>(request.number)] =
            raw ? ParsePageNameReply(*raw, request.number) : std::nullopt;
        for (const int id : EntriesOfPage(request.number))
            SetTableCell(id, static_cast<int>(Column::Page), CellText(State.entries[static_cast<std::size_t>(id)], Column::Page));
        return LinkIsUp();
    }
    case Asked::States: {
        const std::vector<int> ids = EntriesOfPage(request.number);
        const std::optional<std::string> raw = OverviewExchange(StatesRequest(request.number));
        const std::optional<std::vector<bool>> states =
            raw ? ParseStatesReply(*raw, request.number, ids.size()) : std::nullopt;
        for (std::size_t i = 0; i < ids.size(); ++i)
            SetState(ids[i], states ? std::optional((*states)[i]) : std::nullopt, now);
        return LinkIsUp();
    }
    }
    return true;
}

}  // namespace

void OpenOverview()
{
    const std::array<std::string_view, 5> headers = Headers;
    OpenTableWindow({Title, headers, ColumnWidths, ClientWidth, ClientHeight, CopyOverviewAction,
                     OverviewClosedAction});
    if (State.open)
        return;
    State.open = true;
    ReadAllAnew();
    StartTimer(OverviewTimer, OverviewInterval);
    OnOverviewTimer();
}

void CloseOverview()
{
    if (!State.open)
        return;
    StopTimer(OverviewTimer);
    CloseTableWindow();
    State = OverviewState{};
}

bool OverviewOpen()
{
    return State.open;
}

void OnOverviewTimer()
{
    if (!State.open || !LinkIsUp())
        return;
    const SteadyTime now = TimerClockNow();
    for (std::size_t row = 0; row < State.entries.size(); ++row)
        if (Entry& entry = State.entries[row]; entry.changedAt && now - *entry.changedAt >= OverviewHighlight) {
            entry.changedAt.reset();
            SetTableRowHighlighted(static_cast<int>(row), false);
        }
    if (State.due.empty() && State.nextStates && now >= *State.nextStates) {
        for (const int page : PagesWithEntries())
            State.due.push_back({Asked::States, page});
        State.nextStates.reset();
    }
    // A few at a time, so that input and painting never wait long: a board on loopback is read
    // whole in one turn, a slow one over several.
    const auto turn = std::chrono::steady_clock::now();
    while (!State.due.empty() && std::chrono::steady_clock::now() - turn < OverviewTurn) {
        const Request request = State.due.front();
        State.due.pop_front();
        if (!Read(request, now))
            return;
    }
    if (State.due.empty() && !State.nextStates) {
        State.readAll = State.readAll || !State.entries.empty();
        State.nextStates = now + OverviewStatesInterval;
    }
    ShowStatus();
}

void SwitchOverviewRow(int row)
{
    if (!State.open || row < 0 || row >= static_cast<int>(State.entries.size()))
        return;
    const Entry& entry = State.entries[static_cast<std::size_t>(row)];
    if (!entry.info || !entry.info->switchable)
        return;
    const std::optional<std::string> raw = OverviewExchange(ToggleRequest(row));
    if (const std::optional<bool> on = raw ? ParseToggleReply(*raw, row) : std::nullopt)
        SetState(row, on, TimerClockNow());
    ShowStatus();
}

void CopyOverview()
{
    std::string text;
    for (std::size_t column = 0; column < Headers.size(); ++column)
        text += std::string(column > 0 ? "\t" : "") + std::string(Headers[column]);
    text += SystemLineEnd;
    for (const Entry& entry : State.entries) {
        for (std::size_t column = 0; column < Headers.size(); ++column)
            text += (column > 0 ? "\t" : "") + CellText(entry, static_cast<Column>(column));
        text += SystemLineEnd;
    }
    CopyToClipboard(text);
}

void ForgetOverview()
{
    State = OverviewState{};
}

void OverviewLinkChanged(bool up)
{
    if (!State.open)
        return;
    if (up)
        ReadAllAnew();
    ShowStatus();
}
