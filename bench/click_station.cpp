// The measuring end of bench/click_latency.sh: a private PulseAudio server whose pipe sink runs on
// the system clock, the board simulator, and a bare sound client (pacat --latency-msec=10) for
// comparison. Prints the server's address and the board's port, clicks through pacat, then waits
// for "done <command>" on stdin and prints how long each press took to reach the sink.
//
// One clock for everything: steady_clock (CLOCK_MONOTONIC) in this process stamps the board's
// receipt of each command (the simulator runs in this process), each write of the click to
// pacat, and each read of what the sink played. The sink is clocked by CLOCK_MONOTONIC as well:
// it writes each block out when its first sample is due to play, so a block's read time is when
// its first sample plays (plus a few tens of microseconds), and a click's onset plays its
// distance from that sample later.
#include "netio_sim.h"
#include "sound/click_sound.h"
#include "sound/riff.h"
#include "sound_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int Clicks = 20;
constexpr auto ClickSpacing = 300ms;
// An onset belongs to the press before it when it comes no earlier than this before the press
// is stamped (the click is started just before the command goes out) ...
constexpr auto OnsetEarliest = -5ms;
// ... and no later than this after it.
constexpr auto OnsetLatest = 250ms;

struct Onset {
    Clock::time_point at;
    bool whole;
};

std::vector<std::int16_t> ClickSamples()
{
    std::vector<std::int16_t> samples;
    if (const std::optional<WaveSound> sound = ReadWaveImage(ClickSound))
        for (std::size_t i = 0; i + 1 < sound->samples.size(); i += 2)
            samples.push_back(static_cast<std::int16_t>(sound->samples[i] | sound->samples[i + 1] << 8));
    return samples;
}

using Seconds = std::chrono::duration<double>;

Clock::duration SampleTime(std::size_t sample)
{
    return std::chrono::duration_cast<Clock::duration>(Seconds(static_cast<double>(sample) / SoundServer::SampleRate));
}

// The reads that began a block of the sink's output: those that did not follow the read before
// within half a millisecond (that is the rest of a block read in two, or of a block the sink
// wrote in two pieces at once).
std::vector<SoundServer::ReadMark> BlockStarts(const std::vector<SoundServer::ReadMark>& marks)
{
    std::vector<SoundServer::ReadMark> starts;
    for (std::size_t i = 0; i < marks.size(); ++i)
        if (i == 0 || marks[i].at - marks[i - 1].at > 500us)
            starts.push_back(marks[i]);
    return starts;
}

// When the sink played `sample`: the lowest "read time - first sample / rate" among the blocks
// that began in the 150 ms before it, plus its own time. Taken locally, because the sink's count
// of time drifts from the system clock by up to a few hundred ppm (it rounds each block to whole
// microseconds).
std::optional<Clock::time_point> PlayTime(const std::vector<SoundServer::ReadMark>& blocks, std::size_t sample)
{
    const std::size_t window = SoundServer::SampleRate * 150 / 1000;
    const auto byFirstSample = [](const SoundServer::ReadMark& mark, std::size_t value) { return mark.firstSample < value; };
    auto from = std::lower_bound(blocks.begin(), blocks.end(), sample > window ? sample - window : 0, byFirstSample);
    const auto to = std::upper_bound(blocks.begin(), blocks.end(), sample,
                                     [](std::size_t value, const SoundServer::ReadMark& mark) { return value < mark.firstSample; });
    if (from == to) {
        if (to == blocks.begin())
            return std::nullopt;
        from = to - 1;
    }
    std::optional<Clock::time_point> start;
    for (auto block = from; block != to; ++block)
        if (const Clock::time_point candidate = block->at - SampleTime(block->firstSample); !start || candidate < *start)
            start = candidate;
    return *start + SampleTime(sample);
}

std::vector<Onset> HeardOnsets(const SoundServer& server, const std::vector<std::int16_t>& click)
{
    const std::vector<SoundServer::ReadMark> blocks = BlockStarts(server.ReadMarks());
    std::vector<Onset> onsets;
    for (const HeardClick& heard : FindClicks(server.Recording(), click))
        if (const std::optional<Clock::time_point> at = PlayTime(blocks, heard.start))
            onsets.push_back({*at, heard.length == click.size()});
    return onsets;
}

// Press to onset for each press, in ms; nothing where no onset followed.
std::vector<std::optional<double>> Latencies(const std::vector<Clock::time_point>& presses,
                                             const std::vector<Onset>& onsets, int& whole)
{
    std::vector<std::optional<double>> latencies;
    whole = 0;
    for (const Clock::time_point press : presses) {
        const auto found = std::find_if(onsets.begin(), onsets.end(), [press](const Onset& onset) {
            return onset.at >= press + OnsetEarliest && onset.at <= press + OnsetLatest;
        });
        if (found == onsets.end()) {
            latencies.emplace_back();
            continue;
        }
        whole += found->whole ? 1 : 0;
        latencies.emplace_back(std::chrono::duration<double, std::milli>(found->at - press).count());
    }
    return latencies;
}

struct Summary {
    double min = 0, median = 0, max = 0, first = 0;
    int heard = 0;
};

std::optional<Summary> Summarise(const std::vector<std::optional<double>>& latencies)
{
    std::vector<double> heard;
    for (const auto& latency : latencies)
        if (latency)
            heard.push_back(*latency);
    if (heard.empty())
        return std::nullopt;
    Summary summary;
    summary.first = latencies.front().value_or(-1);
    summary.heard = static_cast<int>(heard.size());
    std::sort(heard.begin(), heard.end());
    summary.min = heard.front();
    summary.max = heard.back();
    const std::size_t mid = heard.size() / 2;
    summary.median = heard.size() % 2 ? heard[mid] : (heard[mid - 1] + heard[mid]) / 2;
    return summary;
}

void PrintRow(const char* name, const std::vector<std::optional<double>>& latencies, int whole)
{
    const std::optional<Summary> s = Summarise(latencies);
    if (!s) {
        std::printf("%-26s no click heard\n", name);
        return;
    }
    std::printf("%-26s %6.2f %7.2f %7.2f %7.2f   %2d/%zu  %2d\n", name, s->min, s->median, s->max, s->first,
                s->heard, latencies.size(), whole);
}

// Plays the click through a bare pacat kept running, once every ClickSpacing; returns when
// each click was handed over.
std::vector<Clock::time_point> ClickThroughPacat(const SoundServer& server, const std::vector<std::int16_t>& click)
{
    std::vector<Clock::time_point> written;
    int input[2];
    if (::pipe2(input, O_CLOEXEC) != 0)
        return written;
    const std::string serverOption = "--server=" + server.Address();
    const pid_t pacat = ::fork();
    if (pacat == 0) {
        ::dup2(input[0], 0);
        ::execlp("pacat", "pacat", "--playback", "--raw", "--format=s16le", "--channels=1", "--rate=22050",
                 "--latency-msec=10", "--client-name=bare", serverOption.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(input[0]);
    std::this_thread::sleep_for(1s);   // connected and settled
    for (int i = 0; i < Clicks && pacat > 0; ++i) {
        written.push_back(Clock::now());
        const auto bytes = static_cast<ssize_t>(click.size() * sizeof click[0]);
        if (::write(input[1], click.data(), static_cast<std::size_t>(bytes)) != bytes)
            break;
        std::this_thread::sleep_for(ClickSpacing);
    }
    ::close(input[1]);   // pacat plays what it has and ends
    int status = 0;
    for (int tries = 0; tries < 300 && ::waitpid(pacat, &status, WNOHANG) == 0; ++tries)
        std::this_thread::sleep_for(10ms);
    if (::waitpid(pacat, &status, WNOHANG) == 0) {
        ::kill(pacat, SIGKILL);
        ::waitpid(pacat, &status, 0);
    }
    return written;
}

}  // namespace

int main()
{
    ::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::int16_t> click = ClickSamples();
    SoundServer server(SoundServer::Pacer::Off);
    std::string whyNot;
    if (click.empty() || !server.Start(whyNot)) {
        std::fprintf(stderr, "click_station: no sound server: %s\n", whyNot.c_str());
        return 1;
    }
    netio::Simulator sim({.port = 0});
    if (!sim.Start()) {
        std::fprintf(stderr, "click_station: the simulator does not start\n");
        return 1;
    }
    std::printf("pulse %s\nport %u\nserver-pid %d\n", server.Address().c_str(), sim.Port(),
                static_cast<int>(server.ServerPid()));
    std::fflush(stdout);

    const std::vector<Clock::time_point> bareWrites = ClickThroughPacat(server, click);
    std::printf("bare done\n");
    std::fflush(stdout);

    std::string line;
    while (std::getline(std::cin, line) && !line.starts_with("done "))
        ;
    const std::string command = line.starts_with("done ") ? line.substr(5) : "";
    std::this_thread::sleep_for(300ms);   // the last samples out of the sink

    std::vector<Clock::time_point> presses;
    for (const netio::ReceivedCommand& received : sim.Commands())
        if (received.text == command)
            presses.push_back(received.at);
    const std::vector<Onset> onsets = HeardOnsets(server, click);
    int programWhole = 0, bareWhole = 0;
    const auto program = Latencies(presses, onsets, programWhole);
    const auto bare = Latencies(bareWrites, onsets, bareWhole);

    std::printf("press to sink, ms                min  median     max   first  heard  whole\n");
    PrintRow("skarvel", program, programWhole);
    PrintRow("pacat --latency-msec=10", bare, bareWhole);
    const std::optional<Summary> p = Summarise(program), b = Summarise(bare);
    if (p && b) {
        const double goal = 1.2 * b->median + 1.0;
        std::printf("goal: median <= 1.2 x %.2f + 1 = %.2f ms: %s; worst <= 10 ms: %s\n", b->median, goal,
                    p->median <= goal ? "met" : "NOT met", p->max <= 10.0 ? "met" : "NOT met");
    }
    std::printf("skarvel, each press:");
    for (const auto& latency : program)
        latency ? std::printf(" %.2f", *latency) : std::printf(" lost");
    std::printf("\n");
    std::fflush(stdout);
    return 0;
}
