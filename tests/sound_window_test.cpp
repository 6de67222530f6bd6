// The click as the user hears it: buttons of the real window (offscreen), also after the window
// was left untouched, and the closing of the program, recorded by a PulseAudio server of the
// test's own. The web buttons are never pressed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include <QCursor>

#include "app/startup.h"
#include "sound/click.h"
#include "sound/click_sound.h"
#include "sound/riff.h"
#include "sound_server.h"
#include "temp_folder.h"
#include "utils/timing.h"
#include "window_fixture.h"

namespace {

std::vector<std::int16_t> ClickSamples()
{
    const auto sound = ReadWaveImage(ClickSound);
    std::vector<std::int16_t> samples;
    for (std::size_t i = 0; sound && i + 1 < sound->samples.size(); i += 2)
        samples.push_back(static_cast<std::int16_t>(sound->samples[i] | sound->samples[i + 1] << 8));
    return samples;
}

// Qt looks for the sound server once per process: each case points it at its own server first.
bool StartServer(SoundServer& server, std::string& whyNot)
{
    if (!server.Start(whyNot))
        return false;
    setenv("PULSE_SERVER", server.Address().c_str(), 1);
    return true;
}

void PumpFor(std::chrono::milliseconds span)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < span.count())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

class WindowClickTest : public MainWindowTest {};

TEST_F(WindowClickTest, SendReferenceAndCountButtonsEachClickOnce)
{
    if (const std::string missing = SoundServer::Missing(); !missing.empty())
        GTEST_SKIP() << "not installed: " << missing;
    SoundServer server;
    std::string whyNot;
    ASSERT_TRUE(StartServer(server, whyNot)) << whyNot;
    InitClickSound();
    ASSERT_TRUE(SoundAvailable);
    PumpFor(300ms);

    SetText(CommandField, "F");
    for (int button : {SendButton, ReferenceButton, CountQueryButton}) {
        Click(button);
        PumpFor(200ms);
    }
    // Typing, the toggle and the ticks stay silent: a polling run of half a second, the idle
    // message going out meanwhile.
    QTest::keyClicks(ControlWidget(CommandField), "C");
    HandleQueuedEvents();
    DialogAnswerer answerer;
    Click(PollingToggle);
    StartTimer(IdleTimer, 200ms);
    StartTimer(PollTimer, PollInterval);
    for (QElapsedTimer clock; !clock.isValid() || clock.elapsed() < 600;) {
        if (!clock.isValid())
            clock.start();
        HandleEvent(WaitWindowEvent(50ms));
    }
    Click(PollingToggle);
    EXPECT_EQ(answerer.seen.size(), 1u);
    EXPECT_GE(sim_->CountCommands("C"), 1u);
    EXPECT_GE(sim_->CountCommands("x"), 1u);
    PumpFor(300ms);

    const auto heard = FindClicks(server.Recording(), ClickSamples());
    ASSERT_EQ(heard.size(), 3u);
    for (const HeardClick& click : heard)
        EXPECT_EQ(click.length, ClickSamples().size()) << "a click was cut";
    CloseAudio();
}

// The window in front and untouched, the click's stream is corked after a while and the server
// lets its sink sleep; a press then still clicks whole, and the pointer moving on over the
// output wakes the stream.
TEST_F(WindowClickTest, UntouchedInFrontTheSoundServerSleepsYetAPressClicksWhole)
{
    if (const std::string missing = SoundServer::Missing(); !missing.empty())
        GTEST_SKIP() << "not installed: " << missing;
    SoundServer server(SoundServer::Pacer::Off, SoundServer::IdleSuspend::On);
    std::string whyNot;
    ASSERT_TRUE(StartServer(server, whyNot)) << whyNot;
    InitClickSound();
    ASSERT_TRUE(SoundAvailable);
    // The pointer comes to rest on the title, and nothing more happens.
    QCursor::setPos(MainWindowWidget()->mapToGlobal(QPoint(200, 15)));
    PumpFor(300ms);
    EXPECT_EQ(server.StreamsCorked(), std::vector<std::string>{"no"}) << "the stream is suspended at once";

    // Suspended only after twice as long as a sound server keeps an idle device awake (5 s by
    // default, PulseAudio's and PipeWire's), so that a pause to read costs no late click.
    constexpr auto DeviceAwakeAfterSound = 5s;
    QElapsedTimer waited;
    waited.start();
    while (server.StreamsCorked() != std::vector<std::string>{"yes"} && waited.elapsed() < (AudioSuspendDelay + 5s).count())
        PumpFor(200ms);
    EXPECT_GE(std::chrono::milliseconds(waited.elapsed()) + 300ms, 2 * DeviceAwakeAfterSound) << "suspended too soon";
    while (server.SinkState() != "SUSPENDED" && waited.elapsed() < (AudioSuspendDelay + 10s).count())
        PumpFor(200ms);
    ASSERT_EQ(server.SinkState(), "SUSPENDED") << "the sink never slept with the window untouched in front";
    EXPECT_EQ(server.StreamsCorked(), std::vector<std::string>{"yes"});
    EXPECT_EQ(QApplication::activeWindow(), MainWindowWidget());

    const std::size_t mark = server.RecordedSamples();
    SetText(CommandField, "F");
    Click(SendButton);
    PumpFor(400ms);
    const auto heard = FindClicks(std::span<const std::int16_t>(server.Recording()).subspan(mark), ClickSamples());
    ASSERT_EQ(heard.size(), 1u) << "the press after the rest";
    EXPECT_EQ(heard[0].length, ClickSamples().size()) << "the press after the rest clicked only in part";

    // Back to rest, the pointer come to the output; then it moves on there.
    QWidget* output = ControlWidget(OutputEditor);
    QCursor::setPos(output->mapToGlobal(output->rect().center()));
    PumpFor(1s);
    ASSERT_TRUE(SuspendAudio());
    PumpFor(100ms);
    ASSERT_EQ(server.StreamsCorked(), std::vector<std::string>{"yes"});
    QCursor::setPos(output->mapToGlobal(output->rect().center() + QPoint(5, 5)));
    PumpFor(100ms);
    EXPECT_EQ(server.StreamsCorked(), std::vector<std::string>{"no"}) << "the pointer moving over the output did not wake the stream";
    CloseAudio();
}

TEST(ProgramClickTest, ClosingTheWindowClicksBeforeTheProgramEnds)
{
    if (const std::string missing = SoundServer::Missing(); !missing.empty())
        GTEST_SKIP() << "not installed: " << missing;
    SoundServer server;
    std::string whyNot;
    ASSERT_TRUE(StartServer(server, whyNot)) << whyNot;

    netio::Simulator sim({.port = 0});
    ASSERT_TRUE(sim.Start());
    const TempFolder folder("click", TempFolder::Enter::Yes);
    WriteFileBytes(SettingsFileName, "127.0.0.1\r\n" + std::to_string(sim.Port()) + "\r\n180\r\n");

    StartDesktop();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&watch] {
        if (QWidget* window = MainWindowWidget(); window && window->isVisible()) {
            watch.stop();
            QTimer::singleShot(500, window, [window] { window->close(); });
        }
    });
    watch.start(20);
    RunProgram();

    // The server's latency may cut the end of the closing click: its start is enough.
    const std::size_t waitFor = server.RecordedSamples() + SoundServer::SampleRate / 2;
    for (int i = 0; i < 100 && server.RecordedSamples() < waitFor; ++i)
        std::this_thread::sleep_for(10ms);
    const auto heard = FindClicks(server.Recording(), ClickSamples());
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_TRUE(sim.WaitForClosed(1, 2s));
}

}  // namespace
