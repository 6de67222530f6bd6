// The overview's reading, its cadence and its table.
#include "ui/overview.h"

#include <algorithm>
#include <array>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "board/connection.h"
#include "board/replies.h"
#include "platform/file.h"
#include "platform/window.h"
#include "ui/main_window.h"
#include "ui/polling.h"
#include "ui/running_log.h"

namespace {

constexpr std::string_view Title = "Varnex-NET-IO: Board-Übersicht";
constexpr std::array<std::string_view, 5> Headers = {"Seite", "Platz", "Art", "Name", "Zustand"};
constexpr std::array<int, 5> ColumnWidths = {110, 45, 75, 150, 70};
constexpr int ClientWidth = 500;
constexpr int ClientHeight = 300;
constexpr std::string_view Unknown = "?";
constexpr int Pages = 10;   // as many as N's page digit can name
// A read that failed this often waits for the next round of the states.
constexpr int TriesOfARead = 3;

constexpr std::string_view ReadingStatus = "Die Einträge werden gelesen …";
constexpr std::string_view ConnectedStatus = "Verbunden";
constexpr std::string_view NoLinkStatus = "Keine Verbindung zum Board";
constexpr std::string_view PasswordStatus = "Das Board verlangt ein Kennwort";
constexpr std::string_view InputNotice = "Eingänge lassen sich nicht schalten";
// How long a notice of the user's doing stands in the status line.
constexpr std::chrono::milliseconds NoticeTime = 3000ms;

enum class Column { Page, Place, Kind, Name, State };

// What a read asks the board for: Q, N, S or P.
enum class Asked { Count, Entry, PageName, States };

struct Read {
    Asked asked;
    int number = 0;              // the entry's id or the page
    int failures = 0;
    SteadyTime notBefore{};      // a read that failed waits a while before it goes again
};

struct Entry {
    std::optional<EntryInfo> info;
    std::optional<bool> on;
    std::optional<SteadyTime> changedAt;   // highlighted until OverviewHighlight after
};

struct OverviewState {
    bool open = false;
    std::optional<int> count;              // none: Q not yet answered
    std::vector<Entry> entries;
    std::array<std::optional<std::string>, Pages> pageNames;
    std::deque<Read> due;
    bool readAll = false;                  // everything has been read once
    std::optional<SteadyTime> nextRound;   // of the states, once everything due is read
    std::optional<SteadyTime> lastRead;
    std::string problem;                   // what the board answered a read that kept failing
    std::string notice;                    // of the user's doing, until noticeUntil
    SteadyTime noticeUntil{};
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

// The board's text as shown, never obeyed: a control character (a tab or a line break in a name)
// shows as "?", so that a copied table keeps its rows and columns.
std::string Shown(std::string_view text)
{
    std::string shown;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        // U+0080 to U+009F, the C1 controls, as UTF-8.
        const bool c1 = c == 0xC2 && at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) < 0xA0;
        if (c < 0x20 || c == 0x7F || c1) {
            shown += '?';
            at += c1 ? 1 : 0;
        } else {
            shown += text[at];
        }
    }
    return shown;
}

std::string CellText(const Entry& entry, Column column)
{
    if (column == Column::State)
        return entry.on ? (*entry.on ? "ein" : "aus") : std::string(Unknown);
    if (!entry.info)
        return std::string(Unknown);
    switch (column) {
    case Column::Page:
        return Shown(State.pageNames[static_cast<std::size_t>(entry.info->page)].value_or(std::string(Unknown)));
    case Column::Place:
        return std::to_string(entry.info->place);
    case Column::Kind:
        return entry.info->switchable ? "Ausgang" : "Eingang";
    case Column::Name:
        return Shown(entry.info->name);
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

// While the link is lost: since when, and what comes next.
std::string LostStatus(SteadyTime now)
{
    std::string status = std::string(NoLinkStatus) + " seit " + LocalTimeText(LinkLostAt(), "%H:%M:%S");
    const std::optional<SteadyTime> next = NextReconnectTry();
    if (!next)
        return status + " – Verbindungsversuch läuft …";
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(std::max(*next - now, SteadyTime::duration::zero()));
    return status + " – nächster Versuch in " + std::to_string(seconds.count()) + " s";
}

void ShowStatus(SteadyTime now = TimerClockNow())
{
    if (!LinkIsUp()) {
        SetTableStatus(LostStatus(now));
        return;
    }
    std::string status = now < State.noticeUntil   ? State.notice
                         : !State.problem.empty() ? State.problem
                         : State.readAll           ? std::string(ConnectedStatus)
                                                   : std::string(ReadingStatus);
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
    // The log keeps every state seen that differs from the one before, the first one too.
    if (on != entry.on && entry.info)
        LogState(CellText(entry, Column::Name) + " (" + CellText(entry, Column::Page) + ")",
                 on ? (*on ? "ein" : "aus") : Unknown, EntryRequest(id),
                 std::to_string(entry.info->page) + std::to_string(entry.info->place));
    entry.on = on;
    SetTableCell(id, static_cast<int>(Column::State), CellText(entry, Column::State));
}

// Everything read anew (the board may have restarted): the rows stay as they were, the user's
// selection and scroll position with them, until the board's answers replace them.
void ReadAllAnew()
{
    State.count.reset();
    State.due = {{Asked::Count}};
    State.readAll = false;
    State.nextRound.reset();
    State.problem.clear();
    ShowStatus();
}

// A round of the states, and whatever kept failing before it, asked again.
void QueueRound()
{
    if (!State.count) {
        State.due.push_back({Asked::Count});
        return;
    }
    for (std::size_t id = 0; id < State.entries.size(); ++id)
        if (!State.entries[id].info)
            State.due.push_back({Asked::Entry, static_cast<int>(id)});
    for (const int page : PagesWithEntries())
        if (!State.pageNames[static_cast<std::size_t>(page)])
            State.due.push_back({Asked::PageName, page});
    for (const int page : PagesWithEntries())
        State.due.push_back({Asked::States, page});
}

std::string RequestOf(const Read& read)
{
    switch (read.asked) {
    case Asked::Count:
        return "Q";
    case Asked::Entry:
        return EntryRequest(read.number);
    case Asked::PageName:
        return PageNameRequest(read.number);
    case Asked::States:
        return StatesRequest(read.number);
    }
    return {};
}

// What the board's answer to a read that kept failing means to the user.
std::string ProblemText(const std::string& request, const Exchange& exchange)
{
    const std::string answer = CleanReply(exchange.raw);
    if (answer == "K:0")
        return std::string(PasswordStatus);
    if (!exchange.replyTime)
        return "Das Board antwortet nicht auf " + request;
    return "Das Board antwortet auf " + request + " mit " + Shown(answer);
}

// One exchange of the overview's, never shown in the output. The log keeps a switch, and a read
// only when it failed: a read that went as expected shows in the log by the states it changed.
RequestOutcome OverviewExchange(const std::string& request, bool switching = false)
{
    RequestOutcome outcome = ExchangeRequest(request);
    const Exchange& exchange = outcome.exchange;
    for (const std::string& late : exchange.late)
        Log(LogEvent::LateReply, late);
    if (exchange.outcome != ExchangeOutcome::Replied)
        return outcome;
    if (exchange.replyTime)
        State.heard = WallClock::now();
    if (switching || !outcome.answered) {
        Log(LogEvent::OverviewCommand, request);
        if (exchange.replyTime)
            Log(LogEvent::OverviewReply, exchange.reply, exchange.replyTime);
        else
            Log(LogEvent::OverviewNoReply);
    }
    return outcome;
}

// Takes a read's answer into the table; false when it does not read as one.
bool Take(const Read& read, const std::string& raw, SteadyTime now)
{
    switch (read.asked) {
    case Asked::Count: {
        const std::optional<int> count = ParseCountReply(raw);
        if (!count)
            return false;
        State.count = count;
        SetTableStale(false);
        // The same board again keeps its rows until they are read anew; another is new.
        if (static_cast<std::size_t>(*count) != State.entries.size()) {
            State.entries.assign(static_cast<std::size_t>(*count), Entry{});
            State.pageNames = {};
        }
        SetTableRows(*count);
        for (int id = 0; id < *count; ++id) {
            ShowRow(id);
            State.due.push_back({Asked::Entry, id});
        }
        return true;
    }
    case Asked::Entry: {
        auto& info = State.entries[static_cast<std::size_t>(read.number)].info;
        info = ParseEntryReply(raw, read.number);
        ShowRow(read.number);
        return info.has_value();
    }
    case Asked::PageName: {
        auto& name = State.pageNames[static_cast<std::size_t>(read.number)];
        name = ParsePageNameReply(raw, read.number);
        for (const int id : EntriesOfPage(read.number))
            SetTableCell(id, static_cast<int>(Column::Page), CellText(State.entries[static_cast<std::size_t>(id)], Column::Page));
        return name.has_value();
    }
    case Asked::States: {
        const std::vector<int> ids = EntriesOfPage(read.number);
        const std::optional<std::vector<std::optional<bool>>> states = ParseStatesReply(raw, read.number, ids.size());
        for (std::size_t i = 0; i < ids.size(); ++i)
            SetState(ids[i], states ? (*states)[i] : std::nullopt, now);
        return states.has_value();
    }
    }
    return false;
}

// Does one read; false when nothing more can go out now (the link lost or held).
bool DoRead(Read read, SteadyTime now)
{
    const std::string request = RequestOf(read);
    const RequestOutcome outcome = OverviewExchange(request);
    State.lastRead = now;
    if (outcome.exchange.outcome != ExchangeOutcome::Replied)
        return false;
    // A read that did not read as expected, though answered as asked, is logged too.
    const bool taken = outcome.answered && Take(read, outcome.exchange.raw, now);
    if (outcome.answered && !taken) {
        Log(LogEvent::OverviewCommand, request);
        Log(LogEvent::OverviewReply, outcome.exchange.reply, outcome.exchange.replyTime);
    }
    // Past the first reading of the last entry, the pages' names and states, now that it is
    // known which have entries; an entry read again later adds no round of its own.
    if (read.asked == Asked::Entry && read.failures == 0 && read.number + 1 == static_cast<int>(State.entries.size()))
        for (const Asked asked : {Asked::PageName, Asked::States})
            for (const int page : PagesWithEntries())
                State.due.push_back({asked, page});
    if (taken) {
        State.problem.clear();
        return true;
    }
    // Tried again at most once a second; after the last try, with the next round.
    if (++read.failures < TriesOfARead) {
        read.notBefore = now + OverviewRetryInterval;
        State.due.push_back(read);
    } else {
        State.problem = ProblemText(request, outcome.exchange);
    }
    return true;
}

// The next read that may go now, taken off the list.
std::optional<Read> NextRead(SteadyTime now)
{
    const auto ready = std::find_if(State.due.begin(), State.due.end(), [now](const Read& r) { return r.notBefore <= now; });
    if (ready == State.due.end())
        return std::nullopt;
    const Read read = *ready;
    State.due.erase(ready);
    return read;
}

// Whether a read, as long as the board's replies take, ends before the next poll is due. While
// polling runs, a read that does not fit still goes now and then (the first of a turn), so that
// the table fills.
bool Fits(SteadyTime now, std::chrono::steady_clock::duration spent, bool first)
{
    const std::optional<SteadyTime> poll = NextPollDue();
    if (!poll || now + spent + TypicalReplyTime() <= *poll)
        return true;
    return first && (!State.lastRead || now - *State.lastRead >= OverviewPollingPause);
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
    SetTableMenuEntry(ReconnectNowAction, ReconnectNowMenuText);
    SetTableStale(!LinkIsUp());
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
    if (!State.open)
        return;
    const SteadyTime now = TimerClockNow();
    // While the link is lost, the status line counts down to the next try.
    if (!LinkIsUp()) {
        ShowStatus(now);
        return;
    }
    for (std::size_t row = 0; row < State.entries.size(); ++row)
        if (Entry& entry = State.entries[row]; entry.changedAt && now - *entry.changedAt >= OverviewHighlight) {
            entry.changedAt.reset();
            SetTableRowHighlighted(static_cast<int>(row), false);
        }
    if (State.due.empty() && State.nextRound && now >= *State.nextRound) {
        QueueRound();
        State.nextRound.reset();
    }
    // A few at a time, so that input and painting never wait long, and only where polling
    // leaves room: a board on loopback is read whole in one turn, a slow one over several.
    const auto turn = std::chrono::steady_clock::now();
    for (bool first = true;; first = false) {
        const auto spent = std::chrono::steady_clock::now() - turn;
        if (spent >= OverviewTurn || !Fits(now, spent, first))
            break;
        const std::optional<Read> read = NextRead(now);
        if (!read)
            break;
        if (!DoRead(*read, now))
            return;
    }
    if (State.due.empty() && !State.nextRound) {
        State.readAll = State.readAll || State.count.has_value();
        State.nextRound = now + OverviewStatesInterval;
    }
    ShowStatus(now);
}

void SwitchOverviewRow(int row)
{
    if (!State.open || row < 0 || row >= static_cast<int>(State.entries.size()) || !LinkIsUp())
        return;
    const Entry& entry = State.entries[static_cast<std::size_t>(row)];
    if (!entry.info)
        return;
    if (!entry.info->switchable) {
        State.notice = InputNotice;
        State.noticeUntil = TimerClockNow() + NoticeTime;
        ShowStatus();
        return;
    }
    const RequestOutcome outcome = OverviewExchange(ToggleRequest(row), true);
    if (const std::optional<bool> on = outcome.answered ? ParseToggleReply(outcome.exchange.raw, row) : std::nullopt)
        SetState(row, on, TimerClockNow());
    // A switch asked for while this one was under way (a key held, a second click) is dropped.
    DiscardQueuedEvents(EventKind::Row, row);
    ShowStatus();
}

void CopyOverview()
{
    std::string text;
    for (std::size_t column = 0; column < Headers.size(); ++column)
        text += std::string(column > 0 ? "\t" : "") + std::string(Headers[column]);
    text += SystemLineEnd;
    // The rows selected, or every row when none is.
    std::vector<int> rows = SelectedTableRows();
    if (rows.empty())
        for (std::size_t row = 0; row < State.entries.size(); ++row)
            rows.push_back(static_cast<int>(row));
    for (const int row : rows) {
        if (row < 0 || row >= static_cast<int>(State.entries.size()))
            continue;
        for (std::size_t column = 0; column < Headers.size(); ++column)
            text += (column > 0 ? "\t" : "") + CellText(State.entries[static_cast<std::size_t>(row)], static_cast<Column>(column));
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
    // The rows read before the loss stay, shown as not current until the board is read again.
    SetTableStale(true);
    if (up)
        ReadAllAnew();
    ShowStatus();
}
