// Plays the click through a real PulseAudio server started for the test and finds it, sample
// for sample, in what the server played; checks a restart cuts the click still sounding, that a
// press while the stream is suspended still clicks whole, that the program goes on silently when there
// is no server, one that never answers, or one that goes away, and clicks again once it is back.
#include "sound_server.h"

#include "globals.h"
#include "app/startup.h"
#include "platform/audio.h"
#include "sound/click.h"
#include "sound/click_sound.h"
#include "sound/riff.h"
#include "utils/timing.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t ClickSamples = 680;
constexpr std::size_t SamplesPerMs = SoundServer::SampleRate / 1000;   // 22, near enough

std::vector<std::int16_t> clickSamples()
{
    const std::optional<WaveSound> sound = ReadWaveImage(ClickSound);
    std::vector<std::int16_t> samples;
    if (!sound) return samples;
    for (std::size_t i = 0; i + 1 < sound->samples.size(); i += 2)
        samples.push_back(static_cast<std::int16_t>(sound->samples[i] | sound->samples[i + 1] << 8));
    return samples;
}

void makeApplication()
{
    static int argc = 1;
    static char name[] = "sound_playback_test";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

// The program keeps handling Qt's events while it waits; the sink is fed from there.
void pumpEvents(std::chrono::milliseconds span)
{
    const auto until = Clock::now() + span;
    while (Clock::now() < until) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
}

bool waitForSamples(const SoundServer& server, std::size_t count, std::chrono::milliseconds limit)
{
    const auto until = Clock::now() + limit;
    while (server.RecordedSamples() < count) {
        if (Clock::now() > until) return false;
        pumpEvents(5ms);
    }
    return true;
}

std::string describe(const std::vector<HeardClick>& heard)
{
    std::string text = "heard:";
    for (const HeardClick& one : heard)
        text += " at " + std::to_string(one.start) + " for " + std::to_string(one.length) + " samples;";
    return text;
}

// A case points the sound output at a server of its own, so it runs first in its process: ctest
// runs each case alone anyway; when the whole program is run, later cases run again in a process
// of their own, where nothing an earlier case left of its server can reach them.
bool AudioUsed = false;
// The exit status of a case's own process when the case was skipped there.
constexpr int SkippedAlone = 77;

void runAlone(void (*body)())
{
    if (!AudioUsed || std::getenv("SKARVEL_SOUND_ALONE") != nullptr) {
        AudioUsed = true;
        body();
        // A case skipped in a process of its own says so to the one that started it.
        if (std::getenv("SKARVEL_SOUND_ALONE") != nullptr && ::testing::Test::IsSkipped()) {
            std::fflush(nullptr);
            std::_Exit(SkippedAlone);
        }
        return;
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    std::string self = "/proc/self/exe";
    std::string alone = "SKARVEL_SOUND_ALONE=1";
    std::vector<char*> argv = {self.data(), filter.data(), nullptr};
    std::vector<char*> envp;
    for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
    envp.push_back(alone.data());
    envp.push_back(nullptr);
    pid_t child = -1;
    ASSERT_EQ(::posix_spawn(&child, self.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);
    const auto until = Clock::now() + 90s;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (Clock::now() > until) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            FAIL() << "the case did not end within 90 s in its own process";
        }
        std::this_thread::sleep_for(10ms);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == SkippedAlone)
        GTEST_SKIP() << "skipped in its own process; its reason is above";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the case failed in its own process; its output is above";
}

// Starts a server, points Qt at it and starts the click; skips when pulseaudio or pacat is missing.
#define START_SERVER_AND_CLICK(server)                                                          \
    if (const std::string missing = SoundServer::Missing(); !missing.empty())                   \
        GTEST_SKIP() << "not installed: " << missing << " (scripts/install-deps.sh installs them)"; \
    std::string whyNot;                                                                         \
    ASSERT_TRUE(server.Start(whyNot)) << whyNot;                                                \
    ::setenv("PULSE_SERVER", server.Address().c_str(), 1);                                      \
    SetInitialValues();                                                                         \
    makeApplication();                                                                          \
    InitClickSound();                                                                           \
    ASSERT_TRUE(SoundAvailable) << "no sound output on " << server.Address();                 \
    ASSERT_TRUE(waitForSamples(server, SoundServer::SampleRate / 10, 5s)) << "the sink records nothing"

// Twenty in a row, because a sink reused carelessly loses some of them after a few.
void playsEachClickWholeWhenClicked()
{
    SoundServer server;
    START_SERVER_AND_CLICK(server);
    const std::vector<std::int16_t> click = clickSamples();
    ASSERT_EQ(click.size(), ClickSamples);

    constexpr int Clicks = 20;
    std::vector<std::size_t> clickedAt;   // how much had been recorded when clicked
    for (int i = 0; i < Clicks; ++i) {
        clickedAt.push_back(server.RecordedSamples());
        PlayClick();
        pumpEvents(100ms);
    }
    ASSERT_TRUE(waitForSamples(server, server.RecordedSamples() + SoundServer::SampleRate / 4, 5s));
    const std::vector<HeardClick> heard = FindClicks(server.Recording(), click);

    ASSERT_EQ(heard.size(), static_cast<std::size_t>(Clicks)) << describe(heard);
    for (std::size_t i = 0; i < heard.size(); ++i) {
        EXPECT_EQ(heard[i].length, ClickSamples) << "click " << i << " is not whole";
        // Heard when clicked: a few ms later; the bound leaves room for a busy machine, not
        // for a click left waiting.
        EXPECT_GE(heard[i].start, clickedAt[i]) << "click " << i;
        EXPECT_LT(heard[i].start, clickedAt[i] + 250 * SamplesPerMs) << "click " << i << " came late";
    }
    CloseAudio();
}

// The program does not handle events while it waits for the board; a click just before such a
// wait must sound at once all the same.
void playsWhileTheProgramIsBusy()
{
    SoundServer server;
    START_SERVER_AND_CLICK(server);
    const std::size_t clickedAt = server.RecordedSamples();
    PlayClick();
    std::this_thread::sleep_for(300ms);
    pumpEvents(100ms);
    ASSERT_TRUE(waitForSamples(server, server.RecordedSamples() + SoundServer::SampleRate / 4, 5s));
    const std::vector<HeardClick> heard = FindClicks(server.Recording(), clickSamples());

    ASSERT_EQ(heard.size(), 1U) << describe(heard);
    EXPECT_EQ(heard[0].length, ClickSamples);
    EXPECT_LT(heard[0].start, clickedAt + 250 * SamplesPerMs) << "the click waited for the program";
    CloseAudio();
}

void restartCutsTheClickStillSounding()
{
    SoundServer server;
    START_SERVER_AND_CLICK(server);
    const std::vector<std::int16_t> click = clickSamples();

    // Click again as soon as the first click is heard, well within its 30.8 ms.
    const std::size_t mark = server.RecordedSamples();
    PlayClick();
    const auto until = Clock::now() + 2s;
    while (FindClicks(std::span<const std::int16_t>(server.Recording()).subspan(mark), click).empty()) {
        ASSERT_LT(Clock::now(), until) << "the first click was never heard";
        pumpEvents(1ms);
    }
    PlayClick();
    pumpEvents(300ms);
    ASSERT_TRUE(waitForSamples(server, server.RecordedSamples() + SoundServer::SampleRate / 4, 5s));
    const std::vector<std::int16_t> recording = server.Recording();
    const std::vector<HeardClick> heard = FindClicks(std::span(recording).subspan(mark), click);

    ASSERT_EQ(heard.size(), 2U) << describe(heard);
    EXPECT_LT(heard[0].length, ClickSamples) << "the first click played on after the restart";
    // Where the second click cuts in, a sample or two of it may agree with the first one's by
    // chance, within the match's tolerance; a real overlap runs far longer.
    constexpr std::size_t Chance = 2;
    EXPECT_LE(heard[0].start + heard[0].length, heard[1].start + Chance) << "the clicks overlap";
    EXPECT_EQ(heard[1].length, ClickSamples) << "the second click is not whole";
    CloseAudio();
}

// Thirty presses 40 ms apart, a little more than a click lasts: every click is heard from its
// first sample, and plays whole unless the next one cuts it short; none is lost or overlaps.
// No pacer: the program's own stream must keep the sink from mixing far ahead, or a click
// still waiting behind that is cut by the next press before it sounds.
void rapidClicksEachStartFromTheirFirstSample()
{
    SoundServer server(SoundServer::Pacer::Off);
    START_SERVER_AND_CLICK(server);
    // The window stands, and its stream is ready, before a person can press so fast.
    ResumeAudio();
    pumpEvents(300ms);
    const std::vector<std::int16_t> click = clickSamples();
    constexpr int Clicks = 30;
    const std::size_t mark = server.RecordedSamples();
    auto due = Clock::now();
    for (int i = 0; i < Clicks; ++i) {
        PlayClick();
        due += 40ms;
        while (Clock::now() < due) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(1ms);
        }
    }
    ASSERT_TRUE(waitForSamples(server, server.RecordedSamples() + SoundServer::SampleRate / 4, 5s));
    const std::vector<std::int16_t> recording = server.Recording();
    const std::vector<HeardClick> heard = FindClicks(std::span(recording).subspan(mark), click);

    ASSERT_EQ(heard.size(), static_cast<std::size_t>(Clicks)) << describe(heard);
    for (std::size_t i = 0; i < heard.size(); ++i)
        if (heard[i].length < ClickSamples) {
            ASSERT_LT(i + 1, heard.size()) << "the last click is cut; " << describe(heard);
            EXPECT_GE(heard[i].start + heard[i].length, heard[i + 1].start)
                << "click " << i << " stops before the next one starts; " << describe(heard);
        }
    CloseAudio();
}

// The server restarted between two presses (as PipeWire or PulseAudio is, at the same address):
// the second press connects again and clicks whole; restarted while the stream is suspended, the resume
// connects again before any press; gone a while, the presses are silent and quick, and the
// first once it is back clicks whole.
void serverRestartedOrGoneAndBackClicksAgain()
{
    SoundServer server(SoundServer::Pacer::Off);
    START_SERVER_AND_CLICK(server);
    const auto pressHeardWhole = [&server](const char* press) {
        const std::size_t mark = server.RecordedSamples();
        PlayClick();
        ASSERT_TRUE(waitForSamples(server, server.RecordedSamples() + SoundServer::SampleRate / 4, 5s));
        const auto heard = FindClicks(std::span<const std::int16_t>(server.Recording()).subspan(mark), clickSamples());
        ASSERT_EQ(heard.size(), 1U) << press << "; " << describe(heard);
        EXPECT_EQ(heard[0].length, ClickSamples) << press;
    };
    std::string why;   // then the last try is long enough ago:
    const auto restart = [&] { ASSERT_TRUE(server.StartAgain(why)) << why; pumpEvents(AudioReopenInterval + 100ms); };
    pressHeardWhole("the first press");
    restart();
    pressHeardWhole("the press after the restart");

    pumpEvents(1s);
    ASSERT_TRUE(SuspendAudio());
    restart();
    ResumeAudio();
    pumpEvents(300ms);
    EXPECT_EQ(server.StreamsCorked(), std::vector<std::string>{"no"}) << "the wake did not connect again";

    server.EndServer();
    for (int i = 0; i < 5; ++i) {
        const auto started = Clock::now();
        PlayClick();
        pumpEvents(50ms);
        EXPECT_LT(Clock::now() - started, 1s) << "a click waited on the missing server";
    }
    restart();
    pressHeardWhole("the press once the server is back");
    CloseAudio();
}

// The desktop may suspend the stream: the stream is corked and the server suspends its sink.
// A press then still clicks whole, and wakes the stream; so does the first press, made before
// the server's answers to the opening were read; and a click just started is not cut by a suspension.
void restsAndStillClicksWholeWhenPressed()
{
    if (const std::string missing = SoundServer::Missing(); !missing.empty())
        GTEST_SKIP() << "not installed: " << missing << " (scripts/install-deps.sh installs them)";
    SoundServer server(SoundServer::Pacer::Off, SoundServer::IdleSuspend::On);
    std::string whyNot;
    ASSERT_TRUE(server.Start(whyNot)) << whyNot;
    ::setenv("PULSE_SERVER", server.Address().c_str(), 1);
    SetInitialValues();
    makeApplication();
    const std::vector<std::int16_t> click = clickSamples();

    InitClickSound();
    PlayClick();
    ASSERT_TRUE(SoundAvailable);
    EXPECT_FALSE(SuspendAudio()) << "a suspension would hold back the click just started";
    pumpEvents(300ms);
    std::vector<HeardClick> heard = FindClicks(server.Recording(), click);
    ASSERT_EQ(heard.size(), 1U) << "the first press, at once after the start: " << describe(heard);
    EXPECT_EQ(heard[0].length, ClickSamples);

    pumpEvents(1s);
    EXPECT_TRUE(SuspendAudio());
    const auto until = Clock::now() + 5s;
    while (server.SinkState() != "SUSPENDED" && Clock::now() < until) pumpEvents(100ms);
    ASSERT_EQ(server.SinkState(), "SUSPENDED") << "the suspended stream keeps the sink awake";
    EXPECT_EQ(server.StreamsCorked(), std::vector<std::string>{"yes"});

    const std::size_t mark = server.RecordedSamples();
    PlayClick();
    ASSERT_TRUE(waitForSamples(server, mark + SoundServer::SampleRate / 4, 5s)) << "the sink did not wake";
    heard = FindClicks(std::span<const std::int16_t>(server.Recording()).subspan(mark), click);
    ASSERT_EQ(heard.size(), 1U) << "the press while suspended: " << describe(heard);
    EXPECT_EQ(heard[0].length, ClickSamples) << "the press while suspended clicked only in part";
    EXPECT_EQ(server.StreamsCorked(), std::vector<std::string>{"no"});
    CloseAudio();
}

void noServerLeavesSoundOff()
{
    // A recording server runs, but Qt is pointed elsewhere: nothing may reach it.
    SoundServer server;
    std::string whyNot;
    const bool recording = SoundServer::Missing().empty();
    if (recording) {
        ASSERT_TRUE(server.Start(whyNot)) << whyNot;
    }
    const std::string missing = "unix:" + (std::filesystem::temp_directory_path() / "skarvel-no-such-socket").string();
    ::setenv("PULSE_SERVER", missing.c_str(), 1);
    SetInitialValues();
    makeApplication();

    auto started = Clock::now();
    InitClickSound();
    EXPECT_LT(Clock::now() - started, 1s) << "start-up waited too long for a missing server";
    // The server is looked for once the window stands, and one that is not there shows at once.
    started = Clock::now();
    ResumeAudio();
    PlayClick();
    PlayClick();
    EXPECT_LT(Clock::now() - started, 200ms) << "the presses waited for a missing server";
    pumpEvents(300ms);
    CloseAudio();

    // A server that takes the connection and never answers: the start does not wait for it, the
    // first press at most as long as a silent server is given, the later ones not at all.
    const std::filesystem::path hungPath =
        std::filesystem::temp_directory_path() / ("skarvel-hung-server-" + std::to_string(::getpid()));
    const int hung = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    hungPath.string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(hung, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(hung, 4), 0);
    ::setenv("PULSE_SERVER", ("unix:" + hungPath.string()).c_str(), 1);
    SetInitialValues();
    auto begun = Clock::now();
    InitClickSound();
    ResumeAudio();
    EXPECT_LT(Clock::now() - begun, 200ms) << "start-up waited for a server that does not answer";
    begun = Clock::now();
    PlayClick();
    EXPECT_LT(Clock::now() - begun, 1s) << "the first press waited too long for a silent server";
    begun = Clock::now();
    PlayClick();
    EXPECT_LT(Clock::now() - begun, 50ms) << "a later press waited for a silent server again";
    CloseAudio();
    ::close(hung);
    std::filesystem::remove(hungPath);

    if (recording) {
        ASSERT_TRUE(waitForSamples(server, server.RecordedSamples() + SoundServer::SampleRate / 4, 5s));
        EXPECT_TRUE(FindClicks(server.Recording(), clickSamples()).empty());
    }
}

void refusesFormatItCannotPlay()
{
    SoundServer server;
    START_SERVER_AND_CLICK(server);
    const std::optional<WaveSound> sound = ReadWaveImage(ClickSound);
    ASSERT_TRUE(sound.has_value());

    PcmFormat odd = sound->format;
    odd.bitsPerSample = 24;
    EXPECT_FALSE(LoadSound(odd, sound->samples));
    EXPECT_FALSE(LoadSound(sound->format, {}));
    PlayFromStart();   // nothing loaded any more
    pumpEvents(200ms);
    ASSERT_TRUE(waitForSamples(server, server.RecordedSamples() + SoundServer::SampleRate / 4, 5s));
    EXPECT_TRUE(FindClicks(server.Recording(), clickSamples()).empty());

    EXPECT_TRUE(LoadSound(sound->format, sound->samples));
    PlayFromStart();
    pumpEvents(200ms);
    ASSERT_TRUE(waitForSamples(server, server.RecordedSamples() + SoundServer::SampleRate / 4, 5s));
    EXPECT_EQ(FindClicks(server.Recording(), clickSamples()).size(), 1U);
    CloseAudio();
}

}  // namespace

TEST(ClickPlayback, PlaysEachClickWholeWhenClicked) { runAlone(playsEachClickWholeWhenClicked); }
TEST(ClickPlayback, PlaysWhileTheProgramIsBusy) { runAlone(playsWhileTheProgramIsBusy); }
TEST(ClickPlayback, RestartCutsTheClickStillSounding) { runAlone(restartCutsTheClickStillSounding); }
TEST(ClickPlayback, RapidClicksEachStartFromTheirFirstSample) { runAlone(rapidClicksEachStartFromTheirFirstSample); }
TEST(ClickPlayback, ServerRestartedOrGoneAndBackClicksAgain) { runAlone(serverRestartedOrGoneAndBackClicksAgain); }
TEST(ClickPlayback, NoServerLeavesSoundOffAndIsQuick) { runAlone(noServerLeavesSoundOff); }
TEST(ClickPlayback, RestsAndStillClicksWholeWhenPressed) { runAlone(restsAndStillClicksWholeWhenPressed); }
TEST(Audio, RefusesFormatItCannotPlay) { runAlone(refusesFormatItCannotPlay); }
