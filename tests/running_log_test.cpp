// The running log on its own, on the test's clock: the midnight roll into the new day's file, the
// names of the files and what each line may carry; a write that fails, which ends the log once
// with a whole last line; and a writer that hangs, which never holds up the one who logs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "platform/file.h"
#include "temp_folder.h"
#include "test_seams.h"
#include "ui/running_log.h"

using namespace std::chrono_literals;

namespace {

// A local time on the test's clock: the log's times are local, and so is its midnight.
WallClock::time_point Local(int year, int month, int day, int hour, int minute, int second, int millis = 0)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return WallClock::from_time_t(std::mktime(&local)) + std::chrono::milliseconds(millis);
}

WallClock::time_point TestNow;
WallClock::time_point TestClock() { return TestNow; }

constexpr std::string_view Host = "192.168.0.90";
constexpr std::string_view Board = "192.168.0.90:64400";

class RunningLogTest : public testing::Test {
protected:
    void SetUp() override { SetRunningLogClock(TestClock); }
    void TearDown() override
    {
        EndRunningLog();
        SetRunningLogClock(nullptr);
        SetRunningLogAppend(nullptr);
    }
    bool Start(const std::filesystem::path& path)
    {
        std::string why;
        const bool started = StartRunningLog(path, Host, Board, why);
        EXPECT_TRUE(started) << why;
        return started;
    }
    TempFolder folder_{"log"};
};

// Past midnight the log goes on in a file named by the chosen stem and the board's address, each
// file beginning with a line that names the board; a clock put back does not go back into
// yesterday's file. A line carries no control character and no password.
TEST_F(RunningLogTest, AtMidnightTheLogGoesOnInTheNewDaysFileNamedByStemAndBoard)
{
    TestNow = Local(2026, 12, 8, 23, 59, 59, 900);
    const std::filesystem::path chosen = folder_ / SuggestedLogFileName(TestNow);
    EXPECT_EQ(chosen.filename(), "Skarvel-Mitschnitt-2026-12-08-235959.txt");
    ASSERT_TRUE(Start(chosen));
    TestNow += 50ms;
    Log(LogEvent::Poll, "C");
    TestNow += 150ms;
    Log(LogEvent::Reply, "C:171800", 12ms);
    TestNow -= 1093ms;   // the clock put back over midnight
    Log(LogEvent::Command, "Kgeheim");
    Log(LogEvent::Reply, "\x1b[2Ja\tb\x7f", 0ms);
    LogState("Pumpe (Garten)", "ein", "N01", "11");
    EndRunningLog();

    const std::filesystem::path next = folder_ / "Skarvel-Mitschnitt-192.168.0.90-2026-12-09.txt";
    const std::string header = "# Skarvel-Mitschnitt, Board 192.168.0.90:64400. Felder: Zeit, Ereignis, Text, bei Antworten"
                               " die Antwortzeit in ms; bei Zuständen: Zeit, Zustand, Eintrag (Seite), Zustand, Nummer,"
                               " Seite und Platz";
    EXPECT_EQ(FileLines(chosen),
              (std::vector<std::string>{
                  header,
                  "2026-12-08 23:59:59.900\tMitschnitt begonnen\tSkarvel-Mitschnitt-2026-12-08-235959.txt – Board 192.168.0.90:64400",
                  "2026-12-08 23:59:59.950\tPoll\tC",
                  "2026-12-09 00:00:00.100\tMitschnitt beendet\tSkarvel-Mitschnitt-192.168.0.90-2026-12-09.txt"}));
    EXPECT_EQ(FileLines(next),
              (std::vector<std::string>{
                  header,
                  "2026-12-09 00:00:00.100\tMitschnitt begonnen\tSkarvel-Mitschnitt-192.168.0.90-2026-12-09.txt – Board 192.168.0.90:64400",
                  "2026-12-09 00:00:00.100\tAntwort\tC:171800\t12",
                  "2026-12-08 23:59:59.007\tBefehl\tK***",
                  "2026-12-08 23:59:59.007\tAntwort\t?[2Ja b?\t0",
                  "2026-12-08 23:59:59.007\tZustand\tPumpe (Garten)\tein\tN01\t11",
                  "2026-12-08 23:59:59.007\tMitschnitt beendet\t"}));
    // A name of the user's own keeps its stem and extension; a day's file chosen again does not
    // gather a second address.
    EXPECT_EQ(LogFileForDate(folder_ / "board.log", Host, TestNow).filename(), "board-192.168.0.90-2026-12-08.log");
    // Added to, a file keeps its one header.
    ASSERT_TRUE(Start(next));
    EndRunningLog();
    const std::vector<std::string> again = FileLines(next);
    EXPECT_EQ(std::count(again.begin(), again.end(), header), 1);
    EXPECT_EQ(LogFileForDate(next, Host, TestNow + 48h).filename(), "Skarvel-Mitschnitt-192.168.0.90-2026-12-10.txt");
    EXPECT_EQ(LogFileForDate(folder_ / "Platine 7", "netio:7/a", TestNow).filename(), "Platine 7-netio_7_a-2026-12-08");
}

#ifndef _WIN32
// The disk is full (a file size limit of the process's own): the log ends once, with the system's
// reason, the file cut back to its last whole line; the lines after go nowhere.
TEST_F(RunningLogTest, AWriteThatFailsEndsTheLogOnceAndLeavesNoHalfLine)
{
    TestNow = Local(2026, 12, 8, 12, 0, 0);
    ASSERT_TRUE(Start(folder_ / "log.txt"));
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{400, limit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    for (int i = 0; i < 10; ++i)
        Log(LogEvent::Poll, "C");
    EXPECT_TRUE(WaitForRunningLog(5s));
    const std::string why = TakeRunningLogProblem();
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(RunningLogFailed());
    EXPECT_FALSE(RunningLogActive());
    EXPECT_EQ(TakeRunningLogProblem(), "");
    // Begun again on the full disk: the start fails with its reason, and nothing else is told.
    std::string again;
    EXPECT_FALSE(StartRunningLog(folder_ / "log.txt", Host, Board, again));
    EXPECT_FALSE(again.empty());
    EXPECT_EQ(TakeRunningLogProblem(), "");
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous);
    const std::string bytes = FileBytes(folder_ / "log.txt");
    EXPECT_LE(bytes.size(), 400u);
    EXPECT_TRUE(bytes.ends_with(SystemLineEnd)) << "a half line left behind";
    const std::vector<std::string> lines = FileLines(folder_ / "log.txt");
    ASSERT_GE(lines.size(), 3u);
    for (std::size_t i = 2; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], "2026-12-08 12:00:00.000\tPoll\tC");
}
#endif

// A disk that hangs (a network folder gone away): every Log returns at once, and the end of the log
// waits a moment at most. Released, the writer writes what it was handed, in order.
std::mutex HangMutex;
std::condition_variable HangRelease;
bool Hanging = false;
std::atomic<int> Calls{0};

bool HangingAppend(AppendFile& file, std::string_view bytes, std::string& why)
{
    if (Calls++ > 1) {   // the start's own two lines go as ever
        std::unique_lock lock(HangMutex);
        HangRelease.wait(lock, [] { return !Hanging; });
    }
    return AppendToFile(file, bytes, why);
}

TEST_F(RunningLogTest, AWriterThatHangsHoldsUpNeitherTheLinesNorTheEnd)
{
    TestNow = Local(2026, 12, 8, 12, 0, 0);
    Hanging = true;
    Calls = 0;
    SetRunningLogAppend(HangingAppend);
    ASSERT_TRUE(Start(folder_ / "log.txt"));
    for (int i = 0; i < 1000; ++i)
        Log(LogEvent::Poll, "C");
    EXPECT_FALSE(WaitForRunningLog(100ms)) << "the writer should hang";
    EXPECT_TRUE(RunningLogActive());
    const auto before = std::chrono::steady_clock::now();
    EndRunningLog();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    {
        const std::lock_guard lock(HangMutex);
        Hanging = false;
    }
    HangRelease.notify_all();
    // The writer, left to itself, still writes out all it had and closes the file.
    std::vector<std::string> lines;
    for (int i = 0; i < 500 && (lines = FileLines(folder_ / "log.txt")).size() < 1003; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(lines.size(), 1003u);
    EXPECT_EQ(lines[2], "2026-12-08 12:00:00.000\tPoll\tC");
    EXPECT_TRUE(lines.back().ends_with("Mitschnitt beendet\t"));
}

}  // namespace
