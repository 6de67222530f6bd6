// The board view's reading, its cadence and its table.
#include "ui/board_view.h"

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
#include "utils/local_time.h"

namespace {

constexpr std::string_view Title = "Varnex-NET-IO: Board-Übersicht";
constexpr std::array<std::string_view, 5> Headers = {"Seite", "Platz", "Art", "Name", "Zustand"};
constexpr std::array<int, 5> ColumnWidths = {110, 45, 75, 150, 70};
constexpr int ClientWidth = 500;
constexpr int ClientHeight = 300;
constexpr std::string_view Unknown = "?";
constexpr int Pages = 10;   // as many as N's page digit can name

enum class Column { Page, Place, Kind, Name, State };

struct Request {
    char letter;   // Q, N, S or P
    int number;    // the entry's id or the page
};

struct Entry {
    std::optional<EntryInfo> info;
    std::optional<bool> on;
    std::optional<SteadyTime> changedAt;   // highlighted until BoardViewHighlight after
};

struct BoardView {
    bool open = false;
    std::vector<Entry> entries;
    std::array<std::optional<std::string>, Pages> pageNames;
    std::deque<Request> due;
    bool readAll = false;                  // everything has been read once
    std::optional<SteadyTime> nextStates;
    std::optional<WallClock::time_point> heard;   // when the board last answered the view
};

BoardView View;

std::vector<int> EntriesOfPage(int page)
{
    std::vector<int> ids;
    for (std::size_t id = 0; id < View.entries.size(); ++id)
        if (View.entries[id].info && View.entries[id].info->page == page)
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
        return View.pageNames[static_cast<std::size_t>(entry.info->page)].value_or(std::string(Unknown));
    case Column::Place:
        return std::to_string(entry.info->place);
    case Column::Kind:
        return entry.info->output ? "Ausgang" : "Eingang";
    case Column::Name:
        return entry.info->name;
    case Column::State:
        break;
    }
    return {};
}

void ShowRow(int row)
{
    const Entry& entry = View.entries[static_cast<std::size_t>(row)];
    for (int column = 0; column < static_cast<int>(Headers.size()); ++column)
        SetTableCell(row, column, CellText(entry, static_cast<Column>(column)));
}

void ShowStatus()
{
    std::string status = LinkIsUp() ? (View.readAll ? "Verbunden" : "Die Einträge werden gelesen …")
                                    : "Keine Verbindung zum Board";
    if (View.heard)
        status += " – zuletzt vom Board gehört um " + LocalTimeText(*View.heard, "%H:%M:%S");
    SetTableStatus(status);
}

void SetState(int id, std::optional<bool> on, SteadyTime now)
{
    Entry& entry = View.entries[static_cast<std::size_t>(id)];
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
    View.entries.clear();
    View.pageNames = {};
    View.due = {{'Q', 0}};
    View.readAll = false;
    View.nextStates.reset();
    SetTableRows(0);
    ShowStatus();
}

// One exchange of the view's, logged as the view's and never shown in the output. The raw
// reply, when one came.
std::optional<std::string> ViewExchange(const std::string& request)
{
    Log(LogEvent::ViewCommand, request);
    const Exchange exchange = ExchangeCommand(request);
    if (exchange.outcome != ExchangeOutcome::Replied)
        return std::nullopt;
    if (!exchange.replyTime) {
        Log(LogEvent::ViewNoReply);
        return std::nullopt;
    }
    Log(LogEvent::ViewReply, exchange.reply, exchange.replyTime);
    View.heard = WallClock::now();
    return exchange.raw;
}

// Reads one request's reply into the table; false when the link is lost meanwhile.
bool Read(const Request& request, SteadyTime now)
{
    switch (request.letter) {
    case 'Q': {
        const std::optional<std::string> raw = ViewExchange("Q");
        if (!LinkIsUp())
            return false;
        const std::optional<int> count = raw ? ParseCountReply(*raw) : std::nullopt;
        if (!count) {
            // No count, no entries: asked again with the next round.
            View.due.push_back({'Q', 0});
            return true;
        }
        View.entries.assign(static_cast<std::size_t>(*count), Entry{});
        SetTableRows(*count);
        for (int id = 0; id < *count; ++id) {
            ShowRow(id);
            View.due.push_back({'N', id});
        }
        if (*count == 0)
            View.readAll = true;
        return true;
    }
    case 'N': {
        const std::optional<std::string> raw = ViewExchange(EntryRequest(request.number));
        View.entries[static_cast<std::size_t>(request.number)].info =
            raw ? ParseEntryReply(*raw, request.number) : std::nullopt;
        ShowRow(request.number);
        if (request.number + 1 == static_cast<int>(View.entries.size())) {
            for (const int page : PagesWithEntries())
                View.due.push_back({'S', page});
            for (const int page : PagesWithEntries())
                View.due.push_back({'P', page});
        }
        return LinkIsUp();
    }
    case 'S': {
        const std::optional<std::string> raw = ViewExchange(PageNameRequest(request.number));
        View.pageNames[static_cast<std::size_t>(request.number)] =
            raw ? ParsePageNameReply(*raw, request.number) : std::nullopt;
        for (const int id : EntriesOfPage(request.number))
            SetTableCell(id, static_cast<int>(Column::Page), CellText(View.entries[static_cast<std::size_t>(id)], Column::Page));
        return LinkIsUp();
    }
    case 'P': {
        const std::vector<int> ids = EntriesOfPage(request.number);
        const std::optional<std::string> raw = ViewExchange(StatesRequest(request.number));
        const std::optional<std::vector<bool>> states =
            raw ? ParseStatesReply(*raw, request.number, ids.size()) : std::nullopt;
        for (std::size_t i = 0; i < ids.size(); ++i)
            SetState(ids[i], states ? std::optional((*states)[i]) : std::nullopt, now);
        return LinkIsUp();
    }
    default:
        return true;
    }
}

}  // namespace

void OpenBoardView()
{
    const std::array<std::string_view, 5> headers = Headers;
    OpenTableWindow({Title, headers, ColumnWidths, ClientWidth, ClientHeight, CopyBoardViewCommand,
                     BoardViewClosedCommand});
    if (View.open)
        return;
    View.open = true;
    ReadAllAnew();
    StartTimer(BoardViewTimer, BoardViewInterval);
    OnBoardViewTimer();
}

void CloseBoardView()
{
    if (!View.open)
        return;
    StopTimer(BoardViewTimer);
    CloseTableWindow();
    View = BoardView{};
}

bool BoardViewOpen()
{
    return View.open;
}

void OnBoardViewTimer()
{
    if (!View.open || !LinkIsUp())
        return;
    const SteadyTime now = TimerClockNow();
    for (std::size_t row = 0; row < View.entries.size(); ++row)
        if (Entry& entry = View.entries[row]; entry.changedAt && now - *entry.changedAt >= BoardViewHighlight) {
            entry.changedAt.reset();
            SetTableRowHighlighted(static_cast<int>(row), false);
        }
    if (View.due.empty() && View.nextStates && now >= *View.nextStates) {
        for (const int page : PagesWithEntries())
            View.due.push_back({'P', page});
        View.nextStates.reset();
    }
    // A few at a time, so that input and painting never wait long: a board on loopback is read
    // whole in one turn, a slow one over several.
    const auto turn = std::chrono::steady_clock::now();
    while (!View.due.empty() && std::chrono::steady_clock::now() - turn < BoardViewTurn) {
        const Request request = View.due.front();
        View.due.pop_front();
        if (!Read(request, now))
            return;
    }
    if (View.due.empty() && !View.nextStates) {
        View.readAll = View.readAll || !View.entries.empty();
        View.nextStates = now + BoardViewStatesInterval;
    }
    ShowStatus();
}

void SwitchBoardViewRow(int row)
{
    if (!View.open || row < 0 || row >= static_cast<int>(View.entries.size()))
        return;
    const Entry& entry = View.entries[static_cast<std::size_t>(row)];
    if (!entry.info || !entry.info->output)
        return;
    const std::optional<std::string> raw = ViewExchange(ToggleRequest(row));
    if (const std::optional<bool> on = raw ? ParseToggleReply(*raw, row) : std::nullopt)
        SetState(row, on, TimerClockNow());
    ShowStatus();
}

void CopyBoardView()
{
    std::string text;
    for (std::size_t column = 0; column < Headers.size(); ++column)
        text += std::string(column > 0 ? "\t" : "") + std::string(Headers[column]);
    text += SystemLineEnd;
    for (const Entry& entry : View.entries) {
        for (std::size_t column = 0; column < Headers.size(); ++column)
            text += (column > 0 ? "\t" : "") + CellText(entry, static_cast<Column>(column));
        text += SystemLineEnd;
    }
    CopyToClipboard(text);
}

void ForgetBoardView()
{
    View = BoardView{};
}

void BoardViewLinkChanged(bool up)
{
    if (!View.open)
        return;
    if (up)
        ReadAllAnew();
    ShowStatus();
}
