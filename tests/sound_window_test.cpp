// The click as the user hears it: buttons of the real window (offscreen) and the closing of the
// program, recorded by a PulseAudio server of the test's own. The web buttons are never pressed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "app/startup.h"
#include "sound/click.h"
#include "sound/click_sound.h"
#include "sound/riff.h"
#include "sound_server.h"
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
    ASSERT_TRUE(G.SoundAvailable);
    PumpFor(300ms);

    SetText(CommandField, "F");
    for (int button : {SendButton, ReferenceButton, CountQueryButton}) {
        Click(button);
        PumpFor(200ms);
    }
    // Typing, the toggle and the ticks stay silent.
    QTest::keyClicks(ControlWidget(CommandField), "C");
    HandleQueuedEvents();
    PumpFor(300ms);

    const auto heard = FindClicks(server.Recording(), ClickSamples());
    ASSERT_EQ(heard.size(), 3u);
    for (const HeardClick& click : heard)
        EXPECT_EQ(click.length, ClickSamples().size()) << "a click was cut";
    CloseAudioOutput();
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
    const auto folder = std::filesystem::temp_directory_path() / ("skarvel-click-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    std::ofstream("Skarvel.ini", std::ios::binary) << "127.0.0.1\r\n" << sim.Port() << "\r\n180\r\n";

    StartDesktop();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&watch] {
        if (QWidget* window = MainWindowWidget(); window && window->isVisible()) {
            watch.stop();
            QTimer::singleShot(500, window, [window] { window->close(); });
        }
    });
    watch.start(20);
    EXPECT_EQ(RunProgram(), 0);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);

    // The server's latency may cut the end of the closing click: its start is enough.
    const std::size_t waitFor = server.RecordedSamples() + SoundServer::SampleRate / 2;
    for (int i = 0; i < 100 && server.RecordedSamples() < waitFor; ++i)
        std::this_thread::sleep_for(10ms);
    const auto heard = FindClicks(server.Recording(), ClickSamples());
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_TRUE(sim.WaitForClosed(1, 2s));
}

}  // namespace
