// The running log ("Mitschnitt"): every exchange and event of the main window, one line each, with
// its local time to the millisecond, appended to a file the user chose for as long as the log
// runs. Each line is handed on as it is made to the log's one writer, a thread of its own that
// gives it to the operating system at once, so that a crash loses nothing already shown, while
// a disk that hangs (a network folder gone away) never holds up the window. The log goes on in a
// new file every local midnight; its first line names the board.
//
// A line: date and time, a tab, what happened, a tab, its text; a reply adds a tab and the ms
// from the command's send to the reply's first byte; a state seen by the overview (Zustand) adds
// the state, the entry's id and its page and place. UTF-8, the system's line end, no control
// characters. A new file begins with a line, marked by "#", that names the board and the fields.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "board/connection.h"

enum class LogEvent {
    Command,        // sent with SendButton
    CountQuery,     // sent with CountQueryButton
    Poll,           // sent by a poll
    Reply,          // the reply as shown, and its time
    NoReply,        // the board stayed silent for the reply's wait
    NotSent,        // the link was lost: the command did not go out
    PollingStart,   // the output's start line of a polling run
    PollingEnd,     // and its end line
    LinkLost,
    LinkRestored,
    LogBegun,
    LogEnded,
    OverviewCommand,    // sent by the overview, to read the board
    OverviewReply,
    OverviewNoReply,
    LateReply,          // a reply to an earlier read, come after its wait, dropped
    PasswordResent,     // on a new connection, before anything else
    PasswordRejected,
    State,              // a state the overview saw (LogState)
};

using WallClock = std::chrono::system_clock;

// Starts the log in `path` (appended to when it exists); its first line says so and names the
// board (`board`: host and port). The days after go on in files named by `chosen`'s stem and
// `host`. False, with the system's reason, when the file cannot be opened.
bool StartRunningLog(const std::filesystem::path& path, std::string_view host, std::string_view board,
                     std::string& why);

// Writes the log's last line and closes it, waiting a moment at most for a writer that hangs.
// Nothing when it does not run.
void EndRunningLog();

bool RunningLogActive();

// The file the log writes to now (it changes at midnight).
std::filesystem::path RunningLogFile();

// Adds a line, when the log runs. A write that fails ends the log: the reason waits for
// TakeRunningLogProblem, once. A command's password (its text after K) is never written.
void Log(LogEvent event, std::string_view text = {},
         std::optional<std::chrono::milliseconds> replyTime = std::nullopt);

// A state the overview saw change (or saw first): `entry` its name and page ("Pumpe (Garten)"),
// `state` ein, aus or ?, `id` as N names it ("N01"), `place` its page and place digits ("11").
void LogState(std::string_view entry, std::string_view state, std::string_view id, std::string_view place);

// What became of an exchange, as the log keeps it: late replies dropped, the reply and its time,
// a silent board, or a command that did not go out (a link lost during the exchange is logged as
// the link's event).
void LogExchange(const Exchange& exchange);

// Why the log ended on its own since the last call, the system's words; empty when it did not.
std::string TakeRunningLogProblem();

// The log ended on its own since it was last started.
bool RunningLogFailed();

// "Skarvel-Mitschnitt-YYYY-MM-DD-HHMMSS.txt" at that moment, in local time.
std::string SuggestedLogFileName(WallClock::time_point at);

// The name a log chosen as `chosen` goes on in on `date` (local time): the chosen stem, without a
// date (and time) or the host it ends in, then the host, then "-YYYY-MM-DD", then the chosen
// extension.
std::filesystem::path LogFileForDate(const std::filesystem::path& chosen, std::string_view host,
                                     WallClock::time_point date);
