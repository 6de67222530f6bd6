// The program against a board of the tests' own that behaves as real boards do (stand_in_board.h),
// over the tests' desktop-free window: a board with a password that restarts while polling runs
// with the overview open, a password the board refuses, a reply later than its wait, a board
// without entries, and a running log whose writes fail or hang while polling goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "app/startup.h"
#include "board/connection.h"
#include "core_loop.h"
#include "globals.h"
#include "headless/headless.h"
#include "stand_in_board.h"
#include "temp_folder.h"
#include "test_seams.h"
#include "ui/event_loop.h"
#include "ui/main_window.h"
#include "ui/running_log.h"

using namespace std::chrono_literals;
using headless::Millis;

namespace {

constexpr std::string_view ResentLine = "*** Kennwort erneut gesendet ***";
constexpr std::string_view RejectedLine = "*** Kennwort abgelehnt – bitte neu eingeben ***";

class StandInTest : public testing::Test {
protected:
    void SetUp() override
    {
        headless::Reset();
        ASSERT_TRUE(board_.Start());
        SetInitialValues();
        StartDesktop();
        InitNetworkService();
        G.settings = {"127.0.0.1", std::to_string(board_.Port()), board_.Port(), "8080"};
        Link.BoardConnection = OpenBoardConnection(G.settings.Host, G.settings.TelnetPort);
        ASSERT_TRUE(LinkIsUp());
        ASSERT_TRUE(BuildMainWindow());
        Focus(CommandField);
        StartTimer(IdleTimer, IdleInterval);
        StartTimer(PollTimer, PollInterval);
        Handle();
    }
    void TearDown() override
    {
        EndRunningLog();
        SetRunningLogAppend(nullptr);
        CloseBoardConnection();
        EndDesktop();
    }

    void Send(std::string_view command)
    {
        SetText(CommandField, command);
        headless::Click(SendButton);
        Handle();
    }
    void OpenOverview()
    {
        headless::ChooseFromMenu(OverviewAction);
        Handle();
    }
    static const std::vector<std::string>& Lines() { return headless::Find(OutputEditor)->lines; }
    static std::size_t CountOf(std::string_view line)
    {
        return static_cast<std::size_t>(std::count(Lines().begin(), Lines().end(), line));
    }
    // The messages of one connection, in order.
    std::vector<std::string> MessagesOf(int connection) const
    {
        std::vector<std::string> texts;
        for (const auto& message : board_.Messages())
            if (message.connection == connection)
                texts.push_back(message.text);
        return texts;
    }
    std::size_t Sent(std::string_view text) const
    {
        return board_.Count([text](const StandInBoard::Message& m) { return m.text == text; });
    }

    StandInBoard board_;
};

// The board restarts while polling runs with the overview open: on the new connection the
// password goes out before anything else, said once in the output, and every reply after it is
// the board's real one (no K:0 ever shows); the table is read anew.
TEST_F(StandInTest, APasswordBoardThatRestartsGetsThePasswordFirstOnTheNewConnection)
{
    board_.SetPassword("geheim");
    Send("geheim");
    EXPECT_EQ(Lines(), (std::vector<std::string>{">geheim", "K:1"}));
    OpenOverview();
    headless::Click(PollingToggle);
    headless::At(2s, [this] { board_.Restart(); });
    RunUntil(5s);

    ASSERT_GE(board_.Connections(), 2);
    const std::vector<std::string> second = MessagesOf(2);
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second.front(), "geheim");
    EXPECT_EQ(std::count(second.begin(), second.end(), "geheim"), 1);
    EXPECT_EQ(CountOf(ResentLine), 1u);
    EXPECT_EQ(CountOf("K:0"), 0u);
    EXPECT_EQ(Lines().back(), "C:0C0000");
    EXPECT_TRUE(PollingActive());
    ASSERT_TRUE(headless::TableWindow());
    EXPECT_EQ(headless::TableWindow()->cells.at(1).at(3), "Pumpe");
    EXPECT_TRUE(headless::TableWindow()->status.starts_with("Verbunden")) << headless::TableWindow()->status;
}

// The board wants a password the program never had: the overview asks for the count at most once
// a second and says what the board wants; nothing of it shows in the output.
TEST_F(StandInTest, ABoardThatWantsAPasswordIsReadAtMostOnceASecondAndTheOverviewSaysSo)
{
    board_.SetPassword("geheim");
    OpenOverview();
    RunUntil(9950ms);
    const std::size_t asked = Sent("Q");
    EXPECT_LE(asked, 10u);
    EXPECT_GE(asked, 8u);
    ASSERT_TRUE(headless::TableWindow());
    EXPECT_TRUE(headless::TableWindow()->status.starts_with("Das Board verlangt ein Kennwort")) << headless::TableWindow()->status;
    EXPECT_TRUE(Lines().empty());
    // Polled, the board answers K:0 every time: the output says once what that means.
    headless::Click(PollingToggle);
    RunUntil(12s);
    EXPECT_EQ(CountOf("*** Das Board verlangt ein Kennwort: K und das Kennwort senden ***"), 1u);
    EXPECT_GE(CountOf("K:0"), 6u);
}

// The board refuses the password sent again (it was changed meanwhile) and drops the connection:
// polling stops, nothing more goes out and no reconnect is made until the user sends. Then a board
// that refuses every message and drops the connection each time is reconnected to with growing
// pauses, not at once over and over.
TEST_F(StandInTest, ARefusedPasswordStopsPollingAndNothingGoesOutUntilTheUserSends)
{
    board_.SetPassword("geheim");
    Send("geheim");
    headless::Click(PollingToggle);
    headless::At(1500ms, [this] {
        board_.SetPassword("neu");
        board_.SetCloseOnWrongPassword(true);
        board_.Restart();
    });
    RunUntil(8s);
    EXPECT_EQ(CountOf(RejectedLine), 1u);
    EXPECT_FALSE(IsPressed(PollingToggle));
    EXPECT_FALSE(PollingActive());
    EXPECT_EQ(MessagesOf(2), std::vector<std::string>{"geheim"});
    EXPECT_EQ(board_.Connections(), 2);

    Send("neu");   // the dropped connection shows now; the idle message is refused on each new one
    RunUntil(28s);
    // Tries 1, 2, 4, 8 and 16 s apart, each followed by a refused idle message: five at most.
    EXPECT_LE(board_.Connections(), 2 + 5);
    EXPECT_GE(board_.Connections(), 2 + 3);
}

// A reply later than its wait never shifts anything: the overview drops it where it comes, reads
// on, and the table is whole; a command typed afterwards shows its own reply. The log keeps the
// late reply.
TEST_F(StandInTest, AReplyLaterThanItsWaitIsDroppedAndShiftsNothing)
{
    const TempFolder folder("stand-in-log");
    std::string why;
    ASSERT_TRUE(StartRunningLog(folder / "log.txt", "127.0.0.1", "127.0.0.1", why)) << why;
    int entryReads = 0;
    board_.SetDelay([&entryReads](const std::string& text) {
        return text == "N01" && entryReads++ == 0 ? 1500ms : 0ms;
    });
    OpenOverview();
    RunUntil(4s);
    ASSERT_TRUE(headless::TableWindow());
    const auto& cells = headless::TableWindow()->cells;
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[0][3], "Taster");
    EXPECT_EQ(cells[1][3], "Pumpe");
    EXPECT_EQ(cells[2][3], "Tor");
    for (const auto& row : cells)
        EXPECT_TRUE(row[4] == "ein" || row[4] == "aus") << row[3];
    Send("F");
    EXPECT_EQ(Lines(), (std::vector<std::string>{">F", "F:020103"}));
    EndRunningLog();
    const std::vector<std::string> lines = FileLines(folder / "log.txt");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.ends_with("\tspäte Antwort\tN01:O11Pumpe"); }), 1);
}

// A board without entries, the overview open: nothing to read, so the idle message keeps the link
// alive, every second.
TEST_F(StandInTest, ABoardWithoutEntriesStillHearsTheIdleMessage)
{
    board_.SetNoEntries(true);
    OpenOverview();
    RunUntil(5500ms);
    EXPECT_GE(Sent("x"), 4u);
    EXPECT_TRUE(headless::TableWindow()->status.starts_with("Verbunden")) << headless::TableWindow()->status;
}

// The running log's writes after its first line: they fail, or they hang until released.
std::mutex HangMutex;
std::condition_variable HangRelease;
bool Hanging = false;
bool Failing = false;
std::atomic<int> AppendCalls{0};

bool TestAppend(AppendFile& file, std::string_view bytes, std::string& why)
{
    // The start's own two lines (the file's header and the first line) go as ever.
    if (AppendCalls++ >= 2) {
        if (Failing) {
            why = "Auf dem Gerät ist kein Speicherplatz mehr verfügbar";
            return false;
        }
        std::unique_lock lock(HangMutex);
        HangRelease.wait(lock, [] { return !Hanging; });
    }
    return AppendToFile(file, bytes, why);
}

// A log whose writes fail (a full disk): polling goes on at four a second, the output and the
// title say why, once, and no message waits for a click.
TEST_F(StandInTest, ALogThatFailsEndsWithALineInTheOutputAndPollingGoesOn)
{
    const TempFolder folder("stand-in-log");
    AppendCalls = 0;
    Failing = true;
    SetRunningLogAppend(TestAppend);
    // Started from the output's menu: while it runs, the title says so and the entry names the file.
    const std::u8string path = (folder / "log.txt").u8string();
    headless::AnswerFileDialog(std::string(path.begin(), path.end()));
    headless::ChooseFromMenu(RunningLogAction);
    Handle();
    EXPECT_EQ(headless::MainWindowTitle(), "Varnex-NET-IO-TerminalEmulation V" SKARVEL_VERSION " – Mitschnitt");
    EXPECT_EQ(headless::OutputMenu().at(RunningLogAction), "Mitschnitt beenden (log.txt)");
    headless::Click(PollingToggle);
    RunUntil(3s);
    EXPECT_GE(Sent("C"), 11u);
    EXPECT_EQ(CountOf("*** Mitschnitt beendet: Auf dem Gerät ist kein Speicherplatz mehr verfügbar ***"), 1u);
    EXPECT_EQ(headless::MainWindowTitle(), "Varnex-NET-IO-TerminalEmulation V" SKARVEL_VERSION " (Mitschnitt beendet)");
    EXPECT_EQ(headless::OutputMenu().at(RunningLogAction), "Mitschnitt starten …");
    EXPECT_EQ(headless::Dialogs().size(), 2u) << "only the file dialog and the polling prompt";
}

// A log whose writes hang (a network folder gone away): polling goes on at four a second, and the
// loop never waits for the disk.
TEST_F(StandInTest, ALogWhoseWritesHangHoldsUpNothing)
{
    const TempFolder folder("stand-in-log");
    AppendCalls = 0;
    Failing = false;
    Hanging = true;
    SetRunningLogAppend(TestAppend);
    std::string why;
    ASSERT_TRUE(StartRunningLog(folder / "log.txt", "127.0.0.1", "127.0.0.1", why)) << why;
    headless::Click(PollingToggle);
    std::chrono::steady_clock::duration longest{};
    for (Millis until = 250ms; until <= 3s; until += 250ms) {
        const auto before = std::chrono::steady_clock::now();
        RunUntil(until);
        longest = std::max(longest, std::chrono::steady_clock::now() - before);
    }
    EXPECT_GE(Sent("C"), 11u);
    EXPECT_TRUE(RunningLogActive());
    std::printf("longest quarter second of the loop while the log's writes hang: %.1f ms\n",
                std::chrono::duration<double, std::milli>(longest).count());
    {
        const std::lock_guard lock(HangMutex);
        Hanging = false;
    }
    HangRelease.notify_all();
}

}  // namespace
