// Polling mode through the real widgets and the simulated board. Ticks are driven by calling
// the tick handler, as the loop does every 250 ms, so no test sleeps for them.
#include <gtest/gtest.h>

#include <QStringList>

#include "ui/polling.h"
#include "window_fixture.h"

namespace {

class PollingTest : public MainWindowTest {
protected:
    QStringList Lines() { return Q(EditorText()).split('\n'); }
};

constexpr const char* StartLineC = "*** Starte Polling mit Befehls-Sequenz 'C' ***";
constexpr const char* EndLineC = "*** Beende Polling von Befehls-Sequenz 'C' ***";

TEST_F(PollingTest, AFirstRunWithThePresetShowsTheStartLineAndOneReplyPerTick)
{
    Click(PollingToggle);
    EXPECT_TRUE(IsPressed(PollingToggle));
    EXPECT_FALSE(G.PollingActive);   // armed: nothing happens before the tick
    EXPECT_EQ(EditorText(), "");

    DialogAnswerer answerer;
    OnPollTimer();
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].title, "Skarvel: Meldung");
    EXPECT_EQ(answerer.seen[0].text, "Polling-Befehl eingeben! (z. B. 'C'=Uhrzeit)");
    EXPECT_EQ(answerer.seen[0].preset, "C");
    EXPECT_TRUE(G.PollingActive);
    EXPECT_EQ(GetText(CommandField), "C");
    EXPECT_FALSE(IsEnabled(SendButton));
    EXPECT_EQ(EditorColour(), QColor(0, 0, 255));
    EXPECT_EQ(MainWindowWidget()->focusWidget(), ControlWidget(CommandField));

    OnPollTimer();
    OnPollTimer();
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], StartLineC);
    for (int i = 1; i < 4; ++i)
        EXPECT_TRUE(lines[i].startsWith("C:")) << lines[i].toStdString();
    EXPECT_EQ(answerer.seen.size(), 1u);   // asked once per run
    ASSERT_TRUE(sim_->WaitForCommands(3, 2s));
    EXPECT_EQ(sim_->CountCommands("C"), 3u);
}

TEST_F(PollingTest, ReleasingEndsTheRunWithOneEndLineInBlue)
{
    Click(PollingToggle);
    DialogAnswerer answerer;
    OnPollTimer();
    Click(PollingToggle);
    EXPECT_FALSE(G.PollingActive);
    EXPECT_TRUE(IsEnabled(SendButton));
    QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[2], EndLineC);
    EXPECT_EQ(EditorColour(), QColor(0, 0, 255));

    // Later events of the field and ticks add nothing.
    QTest::keyClicks(ControlWidget(CommandField), "Q");
    HandleQueuedEvents();
    OnPollTimer();
    EXPECT_EQ(Lines(), lines);
    EXPECT_EQ(answerer.seen.size(), 1u);
}

TEST_F(PollingTest, TheSecondRunOffersTheCommandOfTheFirst)
{
    Click(PollingToggle);
    DialogAnswerer answerer({Answer{"F"}, Answer{"F"}});
    OnPollTimer();
    EXPECT_EQ(Lines().value(0), "*** Starte Polling mit Befehls-Sequenz 'F' ***");
    EXPECT_EQ(Lines().value(1), "F:020103");
    Click(PollingToggle);
    EXPECT_EQ(Lines().back(), "*** Beende Polling von Befehls-Sequenz 'F' ***");

    Click(PollingToggle);
    OnPollTimer();
    ASSERT_EQ(answerer.seen.size(), 2u);
    EXPECT_EQ(answerer.seen[1].preset, "F");
    // A new run starts on a cleared editor.
    EXPECT_EQ(Lines().size(), 2);
}

TEST_F(PollingTest, ReleasingBeforeTheFirstTickLeavesNoLine)
{
    Click(PollingToggle);
    Click(PollingToggle);
    DialogAnswerer answerer;
    OnPollTimer();
    EXPECT_TRUE(answerer.seen.empty());
    EXPECT_EQ(EditorText(), "");
    EXPECT_TRUE(IsEnabled(SendButton));
    EXPECT_FALSE(sim_->WaitForCommands(1, 200ms));
}

TEST_F(PollingTest, AnEmptyAnswerIsRefusedAndTheToggleReleasedWithoutAnEvent)
{
    AppendLine(OutputEditor, "kept");
    Click(PollingToggle);
    {
        DialogAnswerer answerer({Answer{""}});
        OnPollTimer();
        ASSERT_EQ(answerer.seen.size(), 2u);
        EXPECT_EQ(answerer.seen[1].title, "Skarvel: Problem");
        EXPECT_EQ(answerer.seen[1].text, "Es wurde kein Polling-Befehl angegeben!");
    }
    EXPECT_FALSE(IsPressed(PollingToggle));
    EXPECT_FALSE(G.PollingActive);
    EXPECT_EQ(G.PollCommand, "");
    EXPECT_EQ(EditorText(), "kept");
    for (const Event& event : Drain())
        EXPECT_NE(event.number, PollingToggle);
    EXPECT_FALSE(sim_->WaitForCommands(1, 200ms));

    // Escape gives an empty answer too; the next run offers the empty text.
    Click(PollingToggle);
    DialogAnswerer escape({Answer{std::nullopt}});
    OnPollTimer();
    ASSERT_EQ(escape.seen.size(), 2u);
    EXPECT_EQ(escape.seen[0].preset, "");
    EXPECT_EQ(escape.seen[1].title, "Skarvel: Problem");
    EXPECT_FALSE(IsPressed(PollingToggle));
}

TEST_F(PollingTest, TypingDuringARunChangesNothing)
{
    Click(PollingToggle);
    DialogAnswerer answerer;
    OnPollTimer();
    QTest::keyClicks(ControlWidget(CommandField), "Z");
    HandleQueuedEvents();
    EXPECT_TRUE(G.PollingActive);
    EXPECT_EQ(Lines().size(), 2);
    OnPollTimer();
    EXPECT_EQ(GetText(CommandField), "C");
    EXPECT_EQ(Lines().size(), 3);
}

TEST_F(PollingTest, TheReferenceDuringARunTurnsBlueWithTheNextReply)
{
    Click(PollingToggle);
    DialogAnswerer answerer;
    OnPollTimer();
    Click(ReferenceButton);
    EXPECT_EQ(EditorColour(), QColor(255, 0, 0));
    EXPECT_EQ(Editor()->LineCount(), 69u);

    OnPollTimer();
    EXPECT_EQ(EditorColour(), QColor(0, 0, 255));
    EXPECT_EQ(Editor()->LineCount(), 70u);
    EXPECT_TRUE(Lines().back().startsWith("C:"));
    EXPECT_EQ(Lines().front(), "Befehle für das Varnex-NET-IO-Board");
}

TEST_F(PollingTest, ACountQueryDuringARunEnablesSendUntilTheNextTick)
{
    Click(PollingToggle);
    DialogAnswerer answerer;
    OnPollTimer();
    Click(CountQueryButton);
    EXPECT_TRUE(IsEnabled(SendButton));
    OnPollTimer();
    EXPECT_FALSE(IsEnabled(SendButton));
}

TEST_F(PollingTest, TicksComeFromThePollTimerFourTimesASecond)
{
    Click(PollingToggle);
    DialogAnswerer answerer;
    StartTimer(IdleTimer, G.IdleInterval);
    StartTimer(PollTimer, G.PollInterval);
    QTimer::singleShot(1600, MainWindowWidget(), [] { MainWindowWidget()->close(); });
    EXPECT_EQ(RunEventLoop(), LoopEnd::WindowClosed);
    // About six ticks in 1.6 s; the loop is not timed closely here.
    EXPECT_GE(sim_->CountCommands("C"), 3u);
    EXPECT_LE(sim_->CountCommands("C"), 8u);
    EXPECT_GE(sim_->CountCommands("x"), 1u);
    // The idle replies never show.
    for (const QString& line : Lines())
        EXPECT_FALSE(line.contains("x:")) << line.toStdString();
}

}  // namespace
