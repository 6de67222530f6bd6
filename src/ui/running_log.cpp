// The running log: one line a write, straight to the system, and a new file every local midnight.
#include "ui/running_log.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <regex>
#include <utility>

#include "platform/file.h"
#include "test_seams.h"

namespace {

constexpr std::string_view ProblemText = "Der Mitschnitt kann nicht weitergeschrieben werden und wurde beendet!\r\r";

struct RunningLog {
    std::optional<AppendFile> file;
    std::filesystem::path chosen;    // as the user chose it; the stem of the files after midnight
    int day = 0;                     // the current file's local date, as YYYYMMDD
    std::string problem;             // a write failed: the message, until taken
    WallClock::time_point (*now)() = WallClock::now;
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
    }
    return {};
}

std::string Utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

int Day(const std::tm& local)
{
    return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

// One line: the time to the millisecond, what happened, its text (a tab or a line break in it
// would split the line's fields), and a reply's time.
std::string Line(WallClock::time_point at, LogEvent event, std::string_view text,
                 std::optional<std::chrono::milliseconds> replyTime)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000;
    std::array<char, 8> millis{};
    std::snprintf(millis.data(), millis.size(), ".%03d", static_cast<int>(ms < 0 ? ms + 1000 : ms));
    std::string line = LocalTimeText(at, "%Y-%m-%d %H:%M:%S") + millis.data() + "\t";
    line += EventName(event);
    line += '\t';
    for (const char c : text)
        line += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
    if (replyTime)
        line += "\t" + std::to_string(replyTime->count());
    line += SystemLineEnd;
    return line;
}

void Fail(std::string_view why)
{
    CloseAppendFile(*Running.file);
    Running.file.reset();
    Running.problem = std::string(ProblemText) + std::string(why);
}

bool Write(const std::string& line)
{
    std::string why;
    if (AppendToFile(*Running.file, line, why))
        return true;
    Fail(why);
    return false;
}

bool Open(const std::filesystem::path& path, WallClock::time_point at, std::string& why)
{
    std::optional<AppendFile> file = OpenAppendFile(path, why);
    if (!file)
        return false;
    // A first line that cannot be written is the start's failure, told once by the caller.
    if (!AppendToFile(*file, Line(at, LogEvent::LogBegun, Utf8(path.filename()), std::nullopt), why)) {
        CloseAppendFile(*file);
        return false;
    }
    Running.file = file;
    Running.day = Day(LocalTime(at));
    return true;
}

// Past midnight: the day's file ends, the log goes on in the new day's.
void RollOver(WallClock::time_point at)
{
    const std::filesystem::path next = LogFileForDate(Running.chosen, at);
    if (!Write(Line(at, LogEvent::LogEnded, Utf8(next.filename()), std::nullopt)))
        return;
    CloseAppendFile(*Running.file);
    Running.file.reset();
    std::string why;
    if (!Open(next, at, why) && Running.problem.empty())
        Running.problem = std::string(ProblemText) + why;
}

}  // namespace

bool StartRunningLog(const std::filesystem::path& path, std::string& why)
{
    EndRunningLog();
    Running.chosen = path;
    Running.problem.clear();
    return Open(path, Running.now(), why);
}

void EndRunningLog()
{
    if (!Running.file)
        return;
    Write(Line(Running.now(), LogEvent::LogEnded, {}, std::nullopt));
    if (Running.file)
        CloseAppendFile(*Running.file);
    Running.file.reset();
}

bool RunningLogActive()
{
    return Running.file.has_value();
}

void Log(LogEvent event, std::string_view text, std::optional<std::chrono::milliseconds> replyTime)
{
    if (!Running.file)
        return;
    const WallClock::time_point at = Running.now();
    if (Day(LocalTime(at)) != Running.day) {
        RollOver(at);
        if (!Running.file)
            return;
    }
    Write(Line(at, event, text, replyTime));
}

void LogExchange(const Exchange& exchange)
{
    if (exchange.outcome == ExchangeOutcome::NotSent)
        Log(LogEvent::NotSent);
    else if (exchange.outcome == ExchangeOutcome::Replied && exchange.replyTime)
        Log(LogEvent::Reply, exchange.reply, exchange.replyTime);
    else if (exchange.outcome == ExchangeOutcome::Replied)
        Log(LogEvent::NoReply);
}

std::string TakeRunningLogProblem()
{
    return std::exchange(Running.problem, {});
}

std::string SuggestedLogFileName(WallClock::time_point at)
{
    return LocalTimeText(at, "Skarvel-Mitschnitt-%Y-%m-%d-%H%M%S.txt");
}

std::filesystem::path LogFileForDate(const std::filesystem::path& chosen, WallClock::time_point date)
{
    static const std::regex dated("-\\d{4}-\\d{2}-\\d{2}(-\\d{6})?$");
    const std::string name = std::regex_replace(Utf8(chosen.stem()), dated, "")
                             + LocalTimeText(date, "-%Y-%m-%d") + Utf8(chosen.extension());
    return chosen.parent_path() / std::filesystem::path(std::u8string(name.begin(), name.end()));
}

void SetRunningLogClock(WallClock::time_point (*now)())
{
    Running.now = now != nullptr ? now : WallClock::now;
}
