// A private PulseAudio server for tests that must hear what the program plays: its only sink
// writes everything played, sample for sample, into a FIFO that is recorded here; and a search
// for the click in such a recording.
//
// A pipe sink mixes as far ahead as its most hurried stream asks, by default some 60 ms at a
// time, which would hide a sound cut short. So a pacer (pacat playing silence with a 5 ms
// latency) keeps the sink mixing in 5 ms steps, as a sound card would. A latency benchmark goes
// without it: there the program's own stream must set the pace.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

class SoundServer {
public:
    static constexpr int SampleRate = 22050;   // the sink's rate: mono s16le

    enum class Pacer { On, Off };
    // Whether the server suspends its sink after 1 s without a stream playing, as desktops have
    // it; the recording then has a gap wherever the sink slept.
    enum class IdleSuspend { Off, On };

    // When a read of the sink's output returned, and the index of its first sample.
    struct ReadMark {
        std::chrono::steady_clock::time_point at;
        std::size_t firstSample;
    };

    // What is missing to run a server here (pulseaudio, pacat), or empty when nothing is.
    static std::string Missing();

    explicit SoundServer(Pacer pacer = Pacer::On, IdleSuspend suspend = IdleSuspend::Off)
        : paced_(pacer == Pacer::On), suspends_(suspend == IdleSuspend::On) {}
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;
    ~SoundServer();

    // Starts the server and the recording; waits at most `limit` for the server to answer.
    // On failure tells why (with the server's log).
    bool Start(std::string& whyNot, std::chrono::milliseconds limit = std::chrono::seconds(10));

    // "unix:/path": the value for PULSE_SERVER.
    std::string Address() const;

    // Everything recorded so far; silence is recorded too, so an index is a time since the
    // recording started.
    std::vector<std::int16_t> Recording() const;
    std::size_t RecordedSamples() const;
    std::vector<ReadMark> ReadMarks() const;

    // Ends the server by its pid (it may be asked to die mid-run) and the recording.
    void Stop();

    // Ends the server alone, as a crash or a restart does; the recording goes on, and takes up
    // what a server started again at the same address plays (nothing is recorded in between).
    void EndServer();
    bool StartAgain(std::string& whyNot, std::chrono::milliseconds limit = std::chrono::seconds(10));

    // The sink's state as the server tells it ("RUNNING", "IDLE", "SUSPENDED"), and the corked
    // state of each stream playing into it ("yes"/"no", in the order the server lists them);
    // asked with pactl. Empty when the server does not answer.
    std::string SinkState() const;
    std::vector<std::string> StreamsCorked() const;

    bool Running() const { return serverPid_ > 0; }
    pid_t ServerPid() const { return serverPid_; }

private:
    void record();
    bool launch(std::string& whyNot, std::chrono::milliseconds limit);
    bool startPacer(std::string& whyNot);

    bool paced_;
    bool suspends_;
    std::filesystem::path folder_;
    pid_t serverPid_ = -1;
    pid_t pacerPid_ = -1;
    int fifo_ = -1;
    std::thread recorder_;
    std::atomic<bool> stopRecording_{false};
    mutable std::mutex lock_;
    std::vector<std::uint8_t> recorded_;   // s16le as it came
    std::vector<ReadMark> marks_;
};

// One click found in a recording.
struct HeardClick {
    std::size_t start;    // sample index of its first sample
    std::size_t length;   // how many of its samples follow it unchanged (all of them: not cut)
};

// Every place where the click starts in the recording (its first 3 ms match, scaled alike),
// with how far it plays on unchanged before something else takes over.
std::vector<HeardClick> FindClicks(std::span<const std::int16_t> recording,
                                   std::span<const std::int16_t> click);
