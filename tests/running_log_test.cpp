// The running log on its own, on the test's clock: the midnight roll into the new day's file, the
// names of the files, and a write that fails, which ends the log once and leaves the program be.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "platform/file.h"
#include "temp_folder.h"
#include "ui/running_log.h"
#include "test_seams.h"

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

class RunningLogTest : public testing::Test {
protected:
    void SetUp() override { SetRunningLogClock(TestClock); }
    void TearDown() override
    {
        EndRunningLog();
        SetRunningLogClock(nullptr);
    }
    TempFolder folder_{"log"};
};

TEST_F(RunningLogTest, AtMidnightTheLogGoesOnInTheNewDaysFileWithTheSameStem)
{
    TestNow = Local(2026, 12, 8, 23, 59, 59, 900);
    const std::filesystem::path chosen = folder_ / SuggestedLogFileName(TestNow);
    EXPECT_EQ(chosen.filename(), "Skarvel-Mitschnitt-2026-12-08-235959.txt");
    std::string why;
    ASSERT_TRUE(StartRunningLog(chosen, why)) << why;
    TestNow += 50ms;
    Log(LogEvent::Poll, "C");
    TestNow += 150ms;
    Log(LogEvent::Reply, "C:171800", 12ms);
    EndRunningLog();

    const std::filesystem::path next = folder_ / "Skarvel-Mitschnitt-2026-12-09.txt";
    EXPECT_EQ(FileLines(chosen),
              (std::vector<std::string>{"2026-12-08 23:59:59.900\tMitschnitt begonnen\tSkarvel-Mitschnitt-2026-12-08-235959.txt",
                                        "2026-12-08 23:59:59.950\tPoll\tC",
                                        "2026-12-09 00:00:00.100\tMitschnitt beendet\tSkarvel-Mitschnitt-2026-12-09.txt"}));
    EXPECT_EQ(FileLines(next), (std::vector<std::string>{"2026-12-09 00:00:00.100\tMitschnitt begonnen\tSkarvel-Mitschnitt-2026-12-09.txt",
                                                      "2026-12-09 00:00:00.100\tAntwort\tC:171800\t12",
                                                      "2026-12-09 00:00:00.100\tMitschnitt beendet\t"}));
    // A name of the user's own keeps its stem and extension; a tab in a text does not split a line.
    EXPECT_EQ(LogFileForDate(folder_ / "board.log", TestNow).filename(), "board-2026-12-09.log");
    EXPECT_EQ(LogFileForDate(folder_ / "Platine 7", TestNow).filename(), "Platine 7-2026-12-09");
    ASSERT_TRUE(StartRunningLog(folder_ / "board.log", why)) << why;
    Log(LogEvent::Reply, "a\tb", 0ms);
    EXPECT_EQ(FileLines(folder_ / "board.log").back(), "2026-12-09 00:00:00.100\tAntwort\ta b\t0");
}

#ifndef _WIN32
// The disk is full (a file size limit of the process's own): the log ends with one message, the
// lines after it go nowhere, and nothing else is touched.
TEST_F(RunningLogTest, AWriteThatFailsEndsTheLogWithOneMessage)
{
    TestNow = Local(2026, 12, 8, 12, 0, 0);
    std::string why;
    ASSERT_TRUE(StartRunningLog(folder_ / "log.txt", why)) << why;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{200, limit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    for (int i = 0; i < 10; ++i)
        Log(LogEvent::Poll, "C");
    EXPECT_FALSE(RunningLogActive());
    const std::string problem = TakeRunningLogProblem();
    EXPECT_TRUE(problem.starts_with("Der Mitschnitt kann nicht weitergeschrieben werden und wurde beendet!\r\r")) << problem;
    EXPECT_GT(problem.size(), 72u) << "the system's reason";
    EXPECT_EQ(TakeRunningLogProblem(), "");
    // Begun again on the full disk: the start fails with its reason, and nothing else is told.
    why.clear();
    EXPECT_FALSE(StartRunningLog(folder_ / "log.txt", why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(RunningLogActive());
    EXPECT_EQ(TakeRunningLogProblem(), "");
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous);
    Log(LogEvent::Poll, "C");
    EXPECT_EQ(TakeRunningLogProblem(), "");
    EXPECT_LE(FileBytes(folder_ / "log.txt").size(), 200u);
}
#endif

}  // namespace
