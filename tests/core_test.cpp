// The program's logic above the platform layer, over the tests' desktop-free window (headless/)
// and the simulated board on loopback: the buttons' actions, the timers and their periods,
// polling, the reference and the start-up's roads. The same cases run in every build: plain,
// sanitized, and for Windows under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "globals.h"
#include "app/startup.h"
#include "board/connection.h"
#include "headless/headless.h"
#include "core_loop.h"
#include "simulated_board.h"
#include "ui/running_log.h"
#include "temp_folder.h"
#include "sound/click.h"
#include "ui/event_loop.h"
#include "ui/main_window.h"

using namespace std::chrono_literals;
using headless::Millis;

namespace {

constexpr Rgb Blue{0, 0, 255};
constexpr Rgb Red{255, 0, 0};

const std::vector<std::string>& Lines()
{
    return headless::Find(OutputEditor)->lines;
}

class CoreTest : public CoreWindowTest {
protected:
    // Clicks as the user does and carries out what that queued.
    std::optional<LoopEnd> Click(int control)
    {
        headless::Click(control);
        return Handle();
    }

    std::size_t Clicks() const { return headless::SoundsPlayed().size(); }
};

TEST_F(CoreTest, SendShowsTheCommandAndItsReplyInBlueAndClicksOnce)
{
    AppendLine(OutputEditor, "old text");
    headless::Type(CommandField, "F");
    Click(SendButton);
    EXPECT_EQ(Lines(), (std::vector<std::string>{">F", "F:020103"}));
    EXPECT_EQ(headless::Find(OutputEditor)->colour, Blue);
    EXPECT_TRUE(IsEnabled(SendButton));
    EXPECT_EQ(GetText(CommandField), "F");
    EXPECT_EQ(FocusedControl(), CommandField);
    EXPECT_EQ(Clicks(), 1u);
    ASSERT_TRUE(sim_->WaitForCommands(1, 2s));
    EXPECT_EQ(sim_->Commands().back().text, "F");

    // Shown as it went out: Windows-1252, "?" for what it cannot carry.
    SetText(CommandField, "ä€\u20BD");
    Click(SendButton);
    ASSERT_TRUE(sim_->WaitForCommands(2, 2s));
    EXPECT_EQ(sim_->Commands().back().text, "\xE4\x80?");
    EXPECT_EQ(Lines(), (std::vector<std::string>{">ä€?", "ä€?:ERR"}));
    EXPECT_EQ(Clicks(), 2u);
}

TEST_F(CoreTest, AnEmptyCommandShowsTheMessageSendsNothingAndLeavesTheOutput)
{
    AppendLine(OutputEditor, "kept");
    Click(SendButton);
    ASSERT_EQ(headless::Dialogs().size(), 1u);
    EXPECT_FALSE(headless::Dialogs()[0].input);
    EXPECT_EQ(headless::Dialogs()[0].title, "Varnex-NET-IO: Meldung");
    EXPECT_EQ(headless::Dialogs()[0].text,
              "Es wurde kein Befehl in die Befehlszeile eingetragen!\r\rEs wurde keine Datenanfrage abgeschickt!");
    EXPECT_EQ(Lines(), std::vector<std::string>{"kept"});
    EXPECT_TRUE(IsEnabled(SendButton));
    EXPECT_EQ(Clicks(), 1u);
    EXPECT_FALSE(sim_->WaitForCommands(1, 200ms));
}

TEST_F(CoreTest, TheCountButtonOverwritesTheFieldWithQAndSendsIt)
{
    headless::Type(CommandField, "something else");
    Click(CountQueryButton);
    EXPECT_EQ(GetText(CommandField), "Q");
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[0], ">Q");
    EXPECT_TRUE(Lines()[1].starts_with("Q:")) << Lines()[1];
    ASSERT_TRUE(sim_->WaitForCommands(1, 2s));
    EXPECT_EQ(sim_->Commands().back().text, "Q");
    EXPECT_EQ(Clicks(), 1u);
}

TEST_F(CoreTest, TheWebButtonsOpenTheirAddressesAndTheBoardsEndsTheLoopDisconnected)
{
    EXPECT_EQ(Click(FirmwareSiteButton), std::nullopt);
    EXPECT_EQ(Click(AuthorSiteButton), std::nullopt);
    EXPECT_TRUE(Link.BoardConnection.has_value());
    G.settings.HttpPortText = "";
    EXPECT_EQ(Click(BoardWebButton), LoopEnd::BoardWebOpened);
    EXPECT_EQ(headless::OpenedAddresses(),
              (std::vector<std::string>{"http://www.varnex.example/", "http://www.brannholt.example/",
                                        "http://127.0.0.1:"}));
    EXPECT_FALSE(Link.BoardConnection.has_value());
    EXPECT_TRUE(sim_->WaitForClosed(1, 2s));
    EXPECT_EQ(Clicks(), 3u);
}

// The timers by what reaches the board: ten seconds of polling and idling on the test's clock.
TEST_F(CoreTest, PollsGoOutFourTimesASecondAndTheIdleMessageOnceASecondUnseen)
{
    headless::Click(PollingToggle);
    constexpr Millis Span = 10s;
    // Between two ticks, so that no tick is in doubt.
    EXPECT_EQ(RunUntil(Span + 100ms), std::nullopt);
    ASSERT_TRUE(sim_->WaitForCommands(Span / 250ms + Span / 1s, 2s));
    EXPECT_EQ(sim_->CountCommands("C"), static_cast<std::size_t>(Span / 250ms));
    EXPECT_EQ(sim_->CountCommands("x"), static_cast<std::size_t>(Span / 1s));
    EXPECT_EQ(Lines().size(), 1 + static_cast<std::size_t>(Span / 250ms));
    for (const std::string& line : Lines())
        EXPECT_EQ(line.find("x:"), std::string::npos) << line;
    EXPECT_EQ(Clicks(), 0u);   // neither the toggle nor the ticks click
}

TEST_F(CoreTest, TicksThatFallDueWhileADialogIsOpenAreDropped)
{
    // The polling prompt opens on the first poll tick, at 250 ms, and stays three seconds.
    headless::DialogsTake(3s);
    headless::Click(PollingToggle);
    RunUntil(5s + 100ms);
    ASSERT_EQ(headless::Dialogs().size(), 1u);
    EXPECT_EQ(headless::Dialogs()[0].at, 250ms);
    // Poll ticks before the dialog and after it (3,500 ms to 5,000 ms); none of its time.
    EXPECT_EQ(headless::TicksDelivered(PollTimer), 1 + 7);
    EXPECT_EQ(headless::TicksDelivered(IdleTimer), 2);   // at 4 and at 5 seconds
    EXPECT_EQ(sim_->CountCommands("C"), 1u + 7u);
}

TEST_F(CoreTest, TheReferenceShowsItsLinesInRedFromTheTopOnceAndASendReplacesIt)
{
    Click(ReferenceButton);
    Click(ReferenceButton);
    ASSERT_EQ(Lines().size(), 69u);
    EXPECT_EQ(Lines().front(), "Befehle für das Varnex-NET-IO-Board");
    // Not through the reply cleaning: the blank stays.
    EXPECT_EQ(Lines()[43], "NET-IO zu Client \tS1:Seite 2");
    EXPECT_EQ(headless::Find(OutputEditor)->colour, Red);
    EXPECT_TRUE(headless::Find(OutputEditor)->showsFirstLine);
    EXPECT_EQ(FocusedControl(), CommandField);
    EXPECT_EQ(Clicks(), 2u);
    EXPECT_FALSE(sim_->WaitForCommands(1, 100ms));

    SetText(CommandField, "F");
    Click(SendButton);
    EXPECT_EQ(Lines(), (std::vector<std::string>{">F", "F:020103"}));
    EXPECT_EQ(headless::Find(OutputEditor)->colour, Blue);
}

// Up and Down in the command field walk the commands sent with SendButton; the text begun before
// comes back past the newest.
TEST_F(CoreTest, UpAndDownRecallTheCommandsSentAndTheTextBegun)
{
    const auto press = [](Key key) {
        headless::PressKey(CommandField, key);
        Handle();
        return GetText(CommandField);
    };
    const auto sendTyped = [this](std::string_view command) {
        SetText(CommandField, command);
        Click(SendButton);
    };
    EXPECT_EQ(press(Key::Up), "");   // nothing sent yet
    for (std::string_view command : {"F", "Q", "Q", "", "C"})
        sendTyped(command);
    Click(CountQueryButton);   // not from the field: not kept
    headless::Answer("P0");
    headless::Click(PollingToggle);
    RunUntil((headless::Now() / 250ms + 1) * 250ms);   // a polling command is not kept either
    Click(PollingToggle);
    ASSERT_TRUE(sim_->WaitForCommands(6, 2s));
    const std::size_t sent = sim_->Commands().size();

    SetText(CommandField, "N0");
    EXPECT_EQ(press(Key::Down), "N0");   // not walking: nothing changes
    EXPECT_EQ(press(Key::Up), "C");
    EXPECT_EQ(press(Key::Up), "Q");      // sent twice in a row, kept once
    EXPECT_EQ(press(Key::Up), "F");
    EXPECT_EQ(press(Key::Up), "F");      // the oldest stays
    EXPECT_EQ(press(Key::Down), "Q");
    EXPECT_EQ(press(Key::Down), "C");
    EXPECT_EQ(press(Key::Down), "N0");   // past the newest: the text begun
    EXPECT_EQ(press(Key::Down), "N0");
    EXPECT_FALSE(sim_->WaitForCommands(sent + 1, 100ms));   // walking sends nothing
    EXPECT_EQ(FocusedControl(), CommandField);

    // At most the last hundred.
    for (int i = 0; i < 150; ++i)
        sendTyped("T" + std::to_string(i));
    for (int i = 0; i < 120; ++i)
        press(Key::Up);
    EXPECT_EQ(GetText(CommandField), "T50");
}

// --- polling -------------------------------------------------------------------------------------

class PollingTest : public CoreTest {
protected:
    // To the next poll tick, and what it does.
    void Tick() { RunUntil((headless::Now() / 250ms + 1) * 250ms); }
};

TEST_F(PollingTest, AFirstRunWithThePresetShowsTheStartLineAndOneReplyPerTick)
{
    headless::Click(PollingToggle);
    Handle();
    EXPECT_TRUE(IsPressed(PollingToggle));
    EXPECT_EQ(G.polling, PollingState::Armed);   // nothing happens before the tick
    EXPECT_TRUE(Lines().empty());

    Tick();
    ASSERT_EQ(headless::Dialogs().size(), 1u);
    EXPECT_EQ(headless::Dialogs()[0].title, "Skarvel: Meldung");
    EXPECT_EQ(headless::Dialogs()[0].text, "Polling-Befehl eingeben! (z. B. 'C'=Uhrzeit)");
    EXPECT_EQ(headless::Dialogs()[0].preset, "C");
    EXPECT_TRUE(PollingActive());
    EXPECT_EQ(GetText(CommandField), "C");
    EXPECT_FALSE(IsEnabled(SendButton));
    EXPECT_EQ(headless::Find(OutputEditor)->colour, Blue);
    EXPECT_EQ(FocusedControl(), PollingToggle);   // where the click put it

    Tick();
    Tick();
    ASSERT_EQ(Lines().size(), 4u);
    EXPECT_EQ(Lines()[0], "*** Starte Polling mit Befehls-Sequenz 'C' ***");
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_TRUE(Lines()[i].starts_with("C:")) << Lines()[i];
    EXPECT_EQ(headless::Dialogs().size(), 1u);   // asked once per run
    ASSERT_TRUE(sim_->WaitForCommands(3, 2s));
    EXPECT_EQ(sim_->CountCommands("C"), 3u);
}

// A poll gives the focus back to the command field only from there (or from nowhere): moved to
// the toggle, to stop the run with the keyboard, or into the output, to copy, it stays.
TEST_F(PollingTest, APollLeavesTheFocusWhereTheUserMovedIt)
{
    headless::Click(PollingToggle);
    Tick();
    headless::Type(CommandField, "x");
    Tick();
    EXPECT_EQ(FocusedControl(), CommandField);
    EXPECT_EQ(GetText(CommandField), "C");
    headless::Click(OutputEditor);
    Tick();
    EXPECT_EQ(FocusedControl(), OutputEditor);
    headless::Click(PollingToggle);   // the run ends, the focus stays on the toggle
    Handle();
    EXPECT_FALSE(PollingActive());
    EXPECT_EQ(FocusedControl(), PollingToggle);
}

TEST_F(PollingTest, ReleasingEndsTheRunWithOneEndLineAndLaterEventsAddNothing)
{
    headless::Click(PollingToggle);
    Tick();
    Click(PollingToggle);
    EXPECT_FALSE(PollingActive());
    EXPECT_TRUE(IsEnabled(SendButton));
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "*** Beende Polling von Befehls-Sequenz 'C' ***");
    EXPECT_EQ(headless::Find(OutputEditor)->colour, Blue);

    headless::Type(CommandField, "Q");
    Handle();
    Tick();
    EXPECT_EQ(Lines(), lines);
    EXPECT_EQ(headless::Dialogs().size(), 1u);
}

TEST_F(PollingTest, TheSecondRunOffersTheCommandOfTheFirstOnAClearedOutput)
{
    headless::Answer("F");
    headless::Click(PollingToggle);
    Tick();
    EXPECT_EQ(Lines(), (std::vector<std::string>{"*** Starte Polling mit Befehls-Sequenz 'F' ***", "F:020103"}));
    Click(PollingToggle);
    EXPECT_EQ(Lines().back(), "*** Beende Polling von Befehls-Sequenz 'F' ***");

    headless::Click(PollingToggle);
    Tick();
    ASSERT_EQ(headless::Dialogs().size(), 2u);
    EXPECT_EQ(headless::Dialogs()[1].preset, "F");
    EXPECT_EQ(Lines().size(), 2u);
}

TEST_F(PollingTest, ACommandOutsideTheCodePageIsShownAndSentAlike)
{
    headless::Answer("C\u20BD");
    headless::Click(PollingToggle);
    Tick();
    EXPECT_EQ(G.PollCommand, "C?");
    EXPECT_EQ(GetText(CommandField), "C?");
    ASSERT_FALSE(Lines().empty());
    EXPECT_EQ(Lines()[0], "*** Starte Polling mit Befehls-Sequenz 'C?' ***");
    ASSERT_TRUE(sim_->WaitForCommands(1, 2s));
    EXPECT_EQ(sim_->Commands().back().text, "C?");
}

TEST_F(PollingTest, ReleasingBeforeTheFirstTickLeavesNoLine)
{
    headless::Click(PollingToggle);
    headless::Click(PollingToggle);
    Tick();
    EXPECT_TRUE(headless::Dialogs().empty());
    EXPECT_TRUE(Lines().empty());
    EXPECT_TRUE(IsEnabled(SendButton));
    EXPECT_FALSE(sim_->WaitForCommands(1, 200ms));
}

TEST_F(PollingTest, AnEmptyAnswerIsRefusedAndTheToggleReleasedWithoutAnEvent)
{
    AppendLine(OutputEditor, "kept");
    headless::Answer("");
    headless::Click(PollingToggle);
    Tick();
    ASSERT_EQ(headless::Dialogs().size(), 2u);
    EXPECT_EQ(headless::Dialogs()[1].title, "Skarvel: Problem");
    EXPECT_EQ(headless::Dialogs()[1].text, "Es wurde kein Polling-Befehl angegeben!");
    EXPECT_FALSE(IsPressed(PollingToggle));
    EXPECT_FALSE(PollingActive());
    EXPECT_EQ(G.PollCommand, "");
    EXPECT_EQ(Lines(), std::vector<std::string>{"kept"});
    EXPECT_FALSE(sim_->WaitForCommands(1, 200ms));

    // Escape gives an empty answer too; the next run offers the empty text.
    headless::Answer(std::nullopt);
    headless::Click(PollingToggle);
    Tick();
    ASSERT_EQ(headless::Dialogs().size(), 4u);
    EXPECT_EQ(headless::Dialogs()[2].preset, "");
    EXPECT_EQ(headless::Dialogs()[3].title, "Skarvel: Problem");
    EXPECT_FALSE(IsPressed(PollingToggle));
}

TEST_F(PollingTest, TypingDuringARunChangesNothingAndTheNextTickPutsTheCommandBack)
{
    headless::Click(PollingToggle);
    Tick();
    headless::Type(CommandField, "Z");
    Handle();
    EXPECT_TRUE(PollingActive());
    EXPECT_EQ(Lines().size(), 2u);
    Tick();
    EXPECT_EQ(GetText(CommandField), "C");
    EXPECT_EQ(Lines().size(), 3u);
}

TEST_F(PollingTest, TheReferenceDuringARunTurnsBlueWithTheNextReply)
{
    headless::Click(PollingToggle);
    Tick();
    Click(ReferenceButton);
    EXPECT_EQ(headless::Find(OutputEditor)->colour, Red);
    EXPECT_EQ(Lines().size(), 69u);

    Tick();
    EXPECT_EQ(headless::Find(OutputEditor)->colour, Blue);
    ASSERT_EQ(Lines().size(), 70u);
    EXPECT_TRUE(Lines().back().starts_with("C:"));
    EXPECT_EQ(Lines().front(), "Befehle für das Varnex-NET-IO-Board");
}

TEST_F(PollingTest, ACountQueryDuringARunEnablesSendUntilTheNextTick)
{
    headless::Click(PollingToggle);
    Tick();
    Click(CountQueryButton);
    EXPECT_TRUE(IsEnabled(SendButton));
    Tick();
    EXPECT_FALSE(IsEnabled(SendButton));
}

TEST_F(PollingTest, ClosingDuringARunEndsTheLoopWithoutAnEndLine)
{
    headless::Click(PollingToggle);
    Tick();
    headless::CloseWindow();
    EXPECT_EQ(Handle(), LoopEnd::WindowClosed);
    EXPECT_EQ(Lines().size(), 2u);
}

// --- the lost link ------------------------------------------------------------------------------

constexpr std::string_view LostLine = "*** Verbindung zum Board unterbrochen ***";
constexpr std::string_view RestoredLine = "*** Verbindung wiederhergestellt ***";
constexpr std::string_view NotSentLine = "*** keine Verbindung – Befehl nicht gesendet ***";
constexpr std::string_view Title = "Varnex-NET-IO-TerminalEmulation V1.0";
constexpr std::string_view LostTitle = "Varnex-NET-IO-TerminalEmulation V1.0 (keine Verbindung)";

class LostLinkTest : public PollingTest {
protected:
    void SetUp() override
    {
        PollingTest::SetUp();
        // The test's clock runs far ahead of a real connect (under Wine it takes a few ms): a
        // connect under way is given the real time it needs before the next tick checks it.
        headless::BeforeEachTick([] {
            for (int check = 0; Link.pendingConnect && CheckConnect(*Link.pendingConnect) == ConnectProgress::Pending && check < 400;
                 ++check)
                std::this_thread::sleep_for(5ms);
        });
    }

    // The board goes away at `at` (its connections dropped, connects refused) and returns at `back`.
    void BoardAwayBetween(Millis at, Millis back)
    {
        headless::At(at, [this] { sim_->GoAway(); });
        headless::At(back, [this] { sim_->ComeBack(); });
    }

    // The output's lines, the time a lost or restored line carries taken out.
    static std::vector<std::string> Lines()
    {
        static const std::regex time(" \\(\\d\\d:\\d\\d:\\d\\d\\)");
        std::vector<std::string> lines;
        for (const std::string& line : ::Lines())
            lines.push_back(std::regex_replace(line, time, ""));
        return lines;
    }

    static std::size_t CountOf(const std::vector<std::string>& lines, std::string_view line)
    {
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
    }
};

// Gone at 1.5 s: the idle message at 2 s finds out, tries follow at 2, 3 and 5 s; back at 5.5 s,
// the try at 9 s mends the link, and the idle message goes on.
TEST_F(LostLinkTest, ADropWhileIdleIsToldOnceAndMendedWithoutAClick)
{
    BoardAwayBetween(1500ms, 5500ms);
    std::string titleWhileLost;
    headless::At(4s, [&] { titleWhileLost = headless::MainWindowTitle(); });
    RunUntil(8s + 100ms);
    EXPECT_EQ(Lines(), std::vector<std::string>{std::string(LostLine)});
    // With the local time of the loss, so that someone back at the desk reads how long it was.
    EXPECT_TRUE(std::regex_match(::Lines()[0], std::regex("\\*\\*\\* Verbindung zum Board unterbrochen \\(\\d\\d:\\d\\d:\\d\\d\\) \\*\\*\\*")))
        << ::Lines()[0];
    EXPECT_EQ(titleWhileLost, LostTitle);
    RunUntil(11s + 100ms);
    EXPECT_EQ(Lines(), (std::vector<std::string>{std::string(LostLine), std::string(RestoredLine)}));
    EXPECT_EQ(headless::MainWindowTitle(), Title);
    ASSERT_TRUE(sim_->WaitForCommands(3, 2s));
    EXPECT_EQ(sim_->CountCommands("x"), 3u);   // at 1 s, then at 10 and 11 s on the new connection
    EXPECT_EQ(sim_->Connections(), 2);
}

// Polls while the link is lost add nothing; once it is back polling goes on with the same command,
// four times a second, without asking again.
TEST_F(LostLinkTest, PollingGoesOnWithoutAskingAgainAndAddsNothingMeanwhile)
{
    headless::Click(PollingToggle);
    BoardAwayBetween(2100ms, 3500ms);
    RunUntil(8s + 100ms);
    const std::vector<std::string> lines = Lines();
    EXPECT_EQ(headless::Dialogs().size(), 1u);
    EXPECT_TRUE(PollingActive());
    EXPECT_EQ(CountOf(lines, LostLine), 1u);
    EXPECT_EQ(CountOf(lines, RestoredLine), 1u);
    const auto lost = std::find(lines.begin(), lines.end(), LostLine);
    ASSERT_NE(lost, lines.end());
    ASSERT_LT(lost + 1, lines.end());
    EXPECT_EQ(*(lost + 1), RestoredLine) << "a poll added a line while the link was lost";
    // The polls of the test's last 2.5 s, one a tick, on the new connection.
    const auto replies = std::count_if(lost + 2, lines.end(), [](const std::string& line) { return line.starts_with("C:"); });
    EXPECT_GE(replies, 10);
    EXPECT_EQ(lines.end() - (lost + 2), replies);
}

// A command sent as the board goes shows the loss; one sent while it is away says it was not sent;
// once it is back, commands go out again.
TEST_F(LostLinkTest, ACommandWhileTheLinkIsLostIsShownAsNotSent)
{
    sim_->GoAway();
    SetText(CommandField, "F");
    Click(SendButton);
    EXPECT_EQ(Lines(), (std::vector<std::string>{">F", std::string(LostLine)}));
    // Polling begun meanwhile says once that nothing goes out until the link is back.
    headless::Click(PollingToggle);
    RunUntil(headless::Now() + 700ms);
    headless::Click(PollingToggle);
    Handle();
    EXPECT_EQ(Lines(), (std::vector<std::string>{"*** Starte Polling mit Befehls-Sequenz 'C' ***",
                                                 "*** keine Verbindung – gesendet wird erst, wenn sie wieder besteht ***",
                                                 "*** Beende Polling von Befehls-Sequenz 'C' ***"}));
    SetText(CommandField, "F");
    EXPECT_EQ(headless::MainWindowTitle(), LostTitle);
    Click(SendButton);
    EXPECT_EQ(Lines(), (std::vector<std::string>{">F", std::string(NotSentLine)}));
    EXPECT_TRUE(IsEnabled(SendButton));
    sim_->ComeBack();
    RunUntil(1s + 50ms);
    EXPECT_EQ(Lines().back(), RestoredLine);
    Click(SendButton);
    EXPECT_EQ(Lines(), (std::vector<std::string>{">F", "F:020103"}));
    EXPECT_EQ(headless::MainWindowTitle(), Title);
}

// A scenario's exchanges and events in the running log, in order, each with its time and a reply
// with the ms it took; idle messages are not logged.
TEST_F(LostLinkTest, TheRunningLogKeepsEveryExchangeAndEventInOrder)
{
    const TempFolder folder("core-log");
    std::string why;
    ASSERT_TRUE(StartRunningLog(folder / "log.txt", "127.0.0.1", "127.0.0.1:" + G.settings.TelnetPortText, why)) << why;
    SetText(CommandField, "F");
    Click(SendButton);
    Click(CountQueryButton);
    headless::Click(PollingToggle);
    BoardAwayBetween(1100ms, 1600ms);
    RunUntil(3s + 100ms);
    Click(PollingToggle);
    EndRunningLog();

    static const std::regex form("(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3})\t([^\t]+)\t([^\t]*)(\t\\d+)?");
    std::string events, previous;
    const std::vector<std::string> lines = FileLines(folder / "log.txt");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines[0].starts_with("# Skarvel-Mitschnitt, Board 127.0.0.1:")) << "the header: " << lines[0];
    for (const std::string& line : std::vector(lines.begin() + 1, lines.end())) {
        std::smatch fields;
        ASSERT_TRUE(std::regex_match(line, fields, form)) << line;
        EXPECT_GE(fields[1].str(), previous) << line;
        previous = fields[1];
        EXPECT_EQ(fields[2] == "Antwort", fields[4].matched) << "a reply and only a reply has its time: " << line;
        EXPECT_NE(fields[3], "x") << "an idle message was logged";
        // One letter an event: begun, Befehl, Q, Start, Poll, Antwort, lost, restored, End, ended.
        const std::map<std::string, char> letters = {
            {"Mitschnitt begonnen", 'b'}, {"Befehl", 'B'}, {"Q-Abfrage", 'Q'}, {"Polling Start", 'S'},
            {"Poll", 'P'}, {"Antwort", 'A'}, {"Verbindung unterbrochen", 'l'}, {"Verbindung wiederhergestellt", 'r'},
            {"Polling Ende", 'E'}, {"Mitschnitt beendet", 'e'}};
        ASSERT_TRUE(letters.contains(fields[2])) << line;
        events += letters.at(fields[2]);
    }
    // The polls at 0.5, 0.75 and 1 s are answered, the one at 1.25 s finds the board gone; the
    // try at 2.25 s mends the link, and the polls from 2.5 s on are answered again.
    EXPECT_TRUE(std::regex_match(events, std::regex("bBAQAS(PA){4}Plr(PA){3}Ee"))) << events;
}

// --- the whole program ---------------------------------------------------------------------------

// RunProgram in a folder of its own, against the simulated board.
class ProgramTest : public testing::Test {
protected:
    void SetUp() override
    {
        headless::Reset();
        sim_ = std::make_unique<netio::Simulator>(netio::SimOptions{.port = 0});
        ASSERT_TRUE(sim_->Start());
    }

    static void WriteFile(std::string_view bytes) { WriteFileBytes(SettingsFileName, bytes); }
    static std::string FileBytes() { return ::FileBytes(SettingsFileName); }
    std::string Port() const { return std::to_string(sim_->Port()); }

    TempFolder folder_{"core", TempFolder::Enter::Yes};
    std::unique_ptr<netio::Simulator> sim_;
};

TEST_F(ProgramTest, WithAFileItConnectsBehindTheConnectWindowAndClosingClicksAndEnds)
{
    const std::string file = "127.0.0.1\r\n " + Port() + "\r\n180\r\n";
    WriteFile(file);
    headless::At(2s, [] { headless::CloseWindow(); });
    RunProgram();
    EXPECT_TRUE(headless::Dialogs().empty());
    EXPECT_EQ(headless::ConnectWindowsShown(),
              std::vector<std::string>{"Verbindungsaufbau zum Varnex-NET-IO-Board...\r\rIP/DNS: 127.0.0.1\r\rPort: "
                                       + Port()});
    EXPECT_EQ(headless::MainWindowTitle(), "Varnex-NET-IO-TerminalEmulation V1.0");
    EXPECT_EQ(FocusedControl(), CommandField);
    EXPECT_EQ(sim_->Connections(), 1);
    // The closing click, then the pause that lets it be heard, then the connection goes.
    ASSERT_EQ(headless::SoundsPlayed().size(), 1u);
    EXPECT_EQ(headless::Pauses(), std::vector<Millis>{100ms});
    EXPECT_TRUE(sim_->WaitForClosed(1, 2s));
    EXPECT_FALSE(Link.BoardConnection.has_value());
    EXPECT_FALSE(headless::MainWindowOpen());
    EXPECT_EQ(FileBytes(), file);   // never changed
}

// The answers go through the file's code page: what is stored is what is used afterwards.
TEST_F(ProgramTest, TheFirstStartAsksThreeQuestionsAndStoresTheAnswersInTheFilesCodePage)
{
    for (const std::string& answer : {std::string("127.0.0.1"), Port(), std::string("80€\u20BD")})
        headless::Answer(answer);
    headless::At(1s, [] { headless::Click(BoardWebButton); });
    RunProgram();
    ASSERT_EQ(headless::Dialogs().size(), 3u);
    const std::vector<std::pair<std::string, std::string>> asked = {
        {"IP oder DNS (192.168.0.90 / netio.dyndns.org)?", "192.168.0.90"},
        {"TelNet-Port (64400)?", "64400"},
        {"HTTP-Port (180)?", "180"}};
    for (std::size_t i = 0; i < asked.size(); ++i) {
        EXPECT_TRUE(headless::Dialogs()[i].input);
        EXPECT_EQ(headless::Dialogs()[i].title, "Skarvel: Meldung");
        EXPECT_EQ(headless::Dialogs()[i].text, asked[i].first);
        EXPECT_EQ(headless::Dialogs()[i].preset, asked[i].second);
    }
    EXPECT_EQ(FileBytes(), "127.0.0.1\r\n" + Port() + "\r\n80\x80?\r\n");
    EXPECT_EQ(sim_->Connections(), 1);
    EXPECT_EQ(headless::OpenedAddresses(), std::vector<std::string>{"http://127.0.0.1:80€?"});
}

TEST_F(ProgramTest, AnUnreachableBoardIsReportedAfterTheConnectWindowAndNoWindowOpens)
{
    const std::string port = Port();
    sim_->Stop();
    WriteFile("127.0.0.1\r\n" + port + "\r\n180\r\n");
    RunProgram();
    ASSERT_EQ(headless::Dialogs().size(), 1u);
    EXPECT_EQ(headless::Dialogs()[0].title, "Varnex-NET-IO: Problem");
    EXPECT_EQ(headless::Dialogs()[0].text, "Das Varnex-NET-IO-Board kann nicht gefunden werden!");
    EXPECT_EQ(headless::ConnectWindowsShown().size(), 1u);
    EXPECT_FALSE(headless::ConnectWindowText().has_value());
    EXPECT_FALSE(headless::MainWindowOpen());
    EXPECT_EQ(headless::Find(CommandField), nullptr);
}

TEST_F(ProgramTest, AFileOfEmptyValuesIsUsedWithoutAsking)
{
    WriteFile("\r\n\r\n\r\n");
    RunProgram();
    ASSERT_EQ(headless::Dialogs().size(), 1u);
    EXPECT_FALSE(headless::Dialogs()[0].input);
    EXPECT_EQ(headless::Dialogs()[0].text, "Das Varnex-NET-IO-Board kann nicht gefunden werden!");
    EXPECT_EQ(headless::ConnectWindowsShown().at(0), "Verbindungsaufbau zum Varnex-NET-IO-Board...\r\rIP/DNS: \r\rPort: 0");
}

#ifndef _WIN32
// A folder, a named pipe or a device in the file's place: each start asks, stores nothing, says
// nothing about it and goes on.
TEST_F(ProgramTest, AnythingButARegularFileIsPassedOverAndEveryStartAsks)
{
    const std::vector<std::pair<std::string, std::function<bool()>>> places = {
        {"folder", [] { return std::filesystem::create_directory("Skarvel.ini"); }},
        {"named pipe", [] { return mkfifo("Skarvel.ini", 0600) == 0; }},
        {"device link", [] { std::filesystem::create_symlink("/dev/zero", "Skarvel.ini"); return true; }},
    };
    for (const auto& [name, make] : places) {
        headless::Reset();
        ASSERT_TRUE(make()) << name;
        const auto kind = std::filesystem::symlink_status("Skarvel.ini").type();
        for (const std::string& answer : {std::string("127.0.0.1"), Port(), std::string("180")})
            headless::Answer(answer);
        headless::At(1s, [] { headless::CloseWindow(); });
        RunProgram();
        EXPECT_EQ(headless::Dialogs().size(), 3u) << name;
        EXPECT_TRUE(headless::Find(CommandField)) << name;
        EXPECT_EQ(std::filesystem::symlink_status("Skarvel.ini").type(), kind) << name;
        std::filesystem::remove("Skarvel.ini");
    }
    EXPECT_EQ(sim_->Connections(), 3);
}
#endif

TEST_F(ProgramTest, TheBoardButtonEndsTheProgramAtOnceAfterOpeningItsPage)
{
    WriteFile("127.0.0.1\r\n" + Port() + "\r\n");
    headless::At(1s, [] { headless::Click(BoardWebButton); });
    RunProgram();
    EXPECT_EQ(headless::OpenedAddresses(), std::vector<std::string>{"http://127.0.0.1:"});
    EXPECT_EQ(headless::SoundsPlayed().size(), 1u);
    EXPECT_TRUE(headless::Pauses().empty());   // no wait for the click on this road
    EXPECT_TRUE(sim_->WaitForClosed(1, 2s));
}

TEST_F(ProgramTest, WithoutSoundTheProgramRunsSilently)
{
    headless::LetAudioFail(true);
    WriteFile("127.0.0.1\r\n" + Port() + "\r\n180\r\n");
    headless::At(1s, [] { headless::Click(ReferenceButton); });
    headless::At(2s, [] { headless::CloseWindow(); });
    RunProgram();
    EXPECT_FALSE(SoundAvailable);
    EXPECT_TRUE(headless::SoundsPlayed().empty());
    EXPECT_EQ(Lines().size(), 69u);
}

}  // namespace
