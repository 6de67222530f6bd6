// The running log: lines made on the loop's thread, written by the log's own writer thread, one
// write a line, in order; a new file every local midnight.
#include "ui/running_log.h"

#include <array>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <regex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/file.h"
#include "test_seams.h"

namespace {

// How long the end of the log waits for its writer to write the last line: a writer that hangs
// on a disk gone away is left to itself, and the program goes on.
constexpr std::chrono::milliseconds WriterEndLimit = 2000ms;

// What the loop hands the writer: a line for the current file, or the file to go on in.
struct WriterItem {
    bool open = false;
    std::string bytes;              // the line, or the next file's path (UTF-8)
    std::string header;             // for the next file, when it is new
};

// What the loop and the writer share, kept alive by both: a writer that hangs may outlive the log.
struct WriterState {
    std::mutex mutex;
    std::condition_variable wake;     // an item or the end for the writer; the writer idle for a wait
    std::deque<WriterItem> items;
    bool ending = false;
    bool busy = false;                // the writer has an item in hand
    bool ended = false;               // the writer is gone
    std::string failure;              // why the writer gave up; taken by the loop
    bool failureTaken = false;
};

bool SystemAppend(AppendFile& file, std::string_view bytes, std::string& why)
{
    return AppendToFile(file, bytes, why);
}

struct RunningLog {
    std::shared_ptr<WriterState> writer;   // none: the log does not run
    std::filesystem::path chosen;    // as the user chose it; the stem of the files after midnight
    std::string host;                // the board's, in the names of the files after midnight
    std::string board;               // host and port, named by each file's first line
    std::filesystem::path current;   // the file written now
    int day = 0;                     // the current file's local date, as YYYYMMDD
    bool failed = false;             // ended on its own since it was last started
    WallClock::time_point (*now)() = WallClock::now;
    bool (*append)(AppendFile&, std::string_view, std::string&) = SystemAppend;
};

RunningLog Running;

std::string_view EventName(LogEvent event)
{
    switch (event) {
    case LogEvent::Command: return "Befehl";
    case LogEvent::CountQuery: return "Q-Abfrage";
    case LogEvent::Poll: return "Poll";
    case LogEvent::Reply: return "Antwort";
    case LogEvent::NoReply: return "keine Antwort";
    case LogEvent::NotSent: return "nicht gesendet";
    case LogEvent::PollingStart: return "Polling Start";
    case LogEvent::PollingEnd: return "Polling Ende";
    case LogEvent::LinkLost: return "Verbindung unterbrochen";
    case LogEvent::LinkRestored: return "Verbindung wiederhergestellt";
    case LogEvent::LogBegun: return "Mitschnitt begonnen";
    case LogEvent::LogEnded: return "Mitschnitt beendet";
    case LogEvent::OverviewCommand: return "Übersicht";
    case LogEvent::OverviewReply: return "Übersicht Antwort";
    case LogEvent::OverviewNoReply: return "Übersicht keine Antwort";
    case LogEvent::LateReply: return "späte Antwort";
    case LogEvent::PasswordResent: return "Kennwort erneut gesendet";
    case LogEvent::PasswordRejected: return "Kennwort abgelehnt";
    case LogEvent::State: return "Zustand";
    }
    return {};
}

bool IsCommand(LogEvent event)
{
    return event == LogEvent::Command || event == LogEvent::CountQuery || event == LogEvent::Poll
           || event == LogEvent::OverviewCommand;
}

std::string Utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::filesystem::path PathOf(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

int Day(const std::tm& local)
{
    return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

// A text as a field of a line: a tab or a line break would split the line's fields and is a
// blank; any other control character (a board's escape sequence) is "?", so that reading the
// log never acts on a terminal. UTF-8's C1 controls count too.
void AppendField(std::string& line, std::string_view text)
{
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        const bool c1 = c == 0xC2 && at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) < 0xA0;
        if (c == '\t' || c == '\r' || c == '\n')
            line += ' ';
        else if (c < 0x20 || c == 0x7F || c1)
            line += '?';
        else
            line += text[at];
        at += c1 ? 1 : 0;
    }
}

// One line: the time to the millisecond, what happened, its text and a reply's time.
std::string Line(WallClock::time_point at, LogEvent event, std::string_view text,
                 std::optional<std::chrono::milliseconds> replyTime)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000;
    std::array<char, 8> millis{};
    std::snprintf(millis.data(), millis.size(), ".%03d", static_cast<int>(ms < 0 ? ms + 1000 : ms));
    std::string line = LocalTimeText(at, "%Y-%m-%d %H:%M:%S") + millis.data() + "\t";
    line += EventName(event);
    line += '\t';
    // A password goes as K and its text: the text never reaches the disk.
    AppendField(line, IsCommand(event) && text.starts_with('K') ? "K***" : text);
    if (replyTime)
        line += "\t" + std::to_string(replyTime->count());
    line += SystemLineEnd;
    return line;
}

std::string BegunText(const std::filesystem::path& path)
{
    return Utf8(path.filename()) + " – Board " + Running.board;
}

// A new file's first line: what is in it, for whoever opens it later.
std::string Header()
{
    return "# Skarvel-Mitschnitt, Board " + Running.board
           + ". Felder: Zeit, Ereignis, Text, bei Antworten die Antwortzeit in ms; bei Zuständen: Zeit, Zustand,"
             " Eintrag (Seite), Zustand, Nummer, Seite und Platz"
           + std::string(SystemLineEnd);
}

// The writer: takes the items in order and writes each at once. A failure ends it: the file is
// closed, what is still queued goes nowhere, and the reason waits for the loop.
void Write(std::shared_ptr<WriterState> state, AppendFile file, bool (*append)(AppendFile&, std::string_view, std::string&))
{
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->busy = false;
        state->wake.notify_all();
        state->wake.wait(lock, [&] { return !state->items.empty() || state->ending; });
        if (state->items.empty())
            break;
        WriterItem item = std::move(state->items.front());
        state->items.pop_front();
        state->busy = true;
        lock.unlock();
        std::string why;
        bool written = true;
        if (item.open) {
            CloseAppendFile(file);
            if (std::optional<AppendFile> next = OpenAppendFile(PathOf(item.bytes), why))
                file = *next;
            else
                written = false;
            if (written && file.size == 0)
                written = append(file, item.header, why);
        } else {
            written = append(file, item.bytes, why);
        }
        lock.lock();
        if (!written) {
            state->failure = why.empty() ? "?" : why;
            state->items.clear();
            break;
        }
    }
    CloseAppendFile(file);
    state->busy = false;
    state->ended = true;
    state->wake.notify_all();
}

void Hand(WriterItem item)
{
    WriterState& state = *Running.writer;
    const std::lock_guard lock(state.mutex);
    if (state.ended || !state.failure.empty())
        return;
    state.items.push_back(std::move(item));
    state.wake.notify_all();
}

// Past midnight: the day's file ends, naming the next, and the log goes on there. A clock put
// back over midnight does not go back into yesterday's file.
void RollOver(WallClock::time_point at, int day)
{
    const std::filesystem::path next = LogFileForDate(Running.chosen, Running.host, at);
    Hand({false, Line(at, LogEvent::LogEnded, Utf8(next.filename()), std::nullopt)});
    Hand({true, Utf8(next), Header()});
    Hand({false, Line(at, LogEvent::LogBegun, BegunText(next), std::nullopt)});
    Running.day = day;
    Running.current = next;
}

// The host as part of a file's name: what a folder cannot hold in a name becomes "_".
std::string NamePart(std::string_view host)
{
    std::string part;
    for (const char c : host)
        part += (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ? c : '_';
    return part;
}

}  // namespace

bool StartRunningLog(const std::filesystem::path& path, std::string_view host, std::string_view board,
                     std::string& why)
{
    EndRunningLog();
    Running.failed = false;
    Running.chosen = path;
    Running.host = host;
    Running.board = board;
    const WallClock::time_point at = Running.now();
    std::optional<AppendFile> file = OpenAppendFile(path, why);
    if (!file)
        return false;
    // A first line that cannot be written is the start's failure, told once by the caller.
    if ((file->size == 0 && !Running.append(*file, Header(), why))
        || !Running.append(*file, Line(at, LogEvent::LogBegun, BegunText(path), std::nullopt), why)) {
        CloseAppendFile(*file);
        return false;
    }
    Running.current = path;
    Running.day = Day(LocalTime(at));
    Running.writer = std::make_shared<WriterState>();
    try {
        std::thread(Write, Running.writer, *file, Running.append).detach();
    } catch (const std::system_error& error) {
        why = error.what();
        CloseAppendFile(*file);
        Running.writer.reset();
        return false;
    }
    return true;
}

void EndRunningLog()
{
    if (!Running.writer)
        return;
    Hand({false, Line(Running.now(), LogEvent::LogEnded, {}, std::nullopt)});
    const std::shared_ptr<WriterState> state = std::exchange(Running.writer, nullptr);
    std::unique_lock lock(state->mutex);
    state->ending = true;
    state->wake.notify_all();
    state->wake.wait_for(lock, WriterEndLimit, [&] { return state->ended; });
}

bool RunningLogActive()
{
    if (!Running.writer)
        return false;
    const std::lock_guard lock(Running.writer->mutex);
    return Running.writer->failure.empty();
}

void Log(LogEvent event, std::string_view text, std::optional<std::chrono::milliseconds> replyTime)
{
    if (!Running.writer)
        return;
    const WallClock::time_point at = Running.now();
    if (const int day = Day(LocalTime(at)); day > Running.day)
        RollOver(at, day);
    Hand({false, Line(at, event, text, replyTime)});
}

void LogState(std::string_view entry, std::string_view state, std::string_view id, std::string_view place)
{
    if (!Running.writer)
        return;
    const WallClock::time_point at = Running.now();
    if (const int day = Day(LocalTime(at)); day > Running.day)
        RollOver(at, day);
    std::string line = Line(at, LogEvent::State, entry, std::nullopt);
    line.resize(line.size() - SystemLineEnd.size());
    for (const std::string_view field : {state, id, place}) {
        line += '\t';
        AppendField(line, field);
    }
    Hand({false, line + std::string(SystemLineEnd)});
}

std::filesystem::path RunningLogFile()
{
    return Running.current;
}

void LogExchange(const Exchange& exchange)
{
    for (const std::string& late : exchange.late)
        Log(LogEvent::LateReply, late);
    if (exchange.outcome == ExchangeOutcome::NotSent)
        Log(LogEvent::NotSent);
    else if (exchange.outcome == ExchangeOutcome::Replied && exchange.replyTime)
        Log(LogEvent::Reply, exchange.reply, exchange.replyTime);
    else if (exchange.outcome == ExchangeOutcome::Replied)
        Log(LogEvent::NoReply);
}

std::string TakeRunningLogProblem()
{
    if (!Running.writer)
        return {};
    std::string why;
    {
        const std::lock_guard lock(Running.writer->mutex);
        if (Running.writer->failure.empty() || Running.writer->failureTaken)
            return {};
        Running.writer->failureTaken = true;
        why = Running.writer->failure;
    }
    Running.writer.reset();
    Running.failed = true;
    return why;
}

bool RunningLogFailed()
{
    return Running.failed;
}

std::string SuggestedLogFileName(WallClock::time_point at)
{
    return LocalTimeText(at, "Skarvel-Mitschnitt-%Y-%m-%d-%H%M%S.txt");
}

std::filesystem::path LogFileForDate(const std::filesystem::path& chosen, std::string_view host,
                                     WallClock::time_point date)
{
    static const std::regex dated("-\\d{4}-\\d{2}-\\d{2}(-\\d{6})?$");
    std::string stem = std::regex_replace(Utf8(chosen.stem()), dated, "");
    const std::string hostPart = "-" + NamePart(host);
    if (stem.ends_with(hostPart))
        stem.resize(stem.size() - hostPart.size());
    const std::string name = stem + hostPart + LocalTimeText(date, "-%Y-%m-%d") + Utf8(chosen.extension());
    return chosen.parent_path() / PathOf(name);
}

void SetRunningLogClock(WallClock::time_point (*now)())
{
    Running.now = now != nullptr ? now : WallClock::now;
}

void SetRunningLogAppend(bool (*append)(AppendFile&, std::string_view, std::string&))
{
    Running.append = append != nullptr ? append : SystemAppend;
}

bool WaitForRunningLog(std::chrono::milliseconds limit)
{
    if (!Running.writer)
        return true;
    WriterState& state = *Running.writer;
    std::unique_lock lock(state.mutex);
    return state.wake.wait_for(lock, limit, [&] { return (state.items.empty() && !state.busy) || state.ended; });
}
