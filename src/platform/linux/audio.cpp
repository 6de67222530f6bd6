// The audio boundary over the PulseAudio client library (which PipeWire serves as well): one
// short sound in a playback stream that stays connected from the moment the sound is loaded, so
// that a press only has to write the sound.
//
// Measured on a private server whose sink runs on the system clock, and why this file is shaped
// by it:
//  - a stream opened per press starts behind the silence the sink has already mixed ahead, up
//    to 90 ms when no stream sets a pace, and waits for a round trip to the server first; a
//    stream kept connected with a short target latency keeps the sink mixing only a few ms
//    ahead, so each click, the first one included, reaches the sink within a few ms;
//  - the click is written at the point the server reads next (PA_SEEK_RELATIVE_ON_READ): it
//    replaces what is left of a click still sounding, so a restart needs no flush, no second
//    stream and no answer from the server, and two clicks never overlap;
//  - a prebuffer of one frame: what is written plays at once, and the empty stream waits
//    without asking the program for anything (with none at all the idle server works twice as
//    hard);
//  - the library's own main loop, run only from here and never waiting while playing: the
//    write leaves on the spot even when the program then blocks on the board for a second, and
//    nothing runs while the program idles (no thread, no timer). What the server sent meanwhile
//    is read at the next press, which is also where a server gone away shows; from then on
//    nothing is tried;
//  - Qt Multimedia (used before) cannot drop what a sink has queued short of closing its stream
//    and opening another, which waits for the server and leaves the sink without a pace in
//    between: kept open that way, of 200 clicks restarted 10-25 ms apart 50 were lost and the
//    rest came some 90 ms late.
// Nothing here depends on the window: the click sounds also when it is not in front.
#include "platform/audio.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long the server may take to accept the connection, and then the stream.
constexpr auto ServerAnswerLimit = 400ms;
// The stream's target latency, as a bare sound client would ask (pacat --latency-msec=10). The
// server then keeps the sink about a quarter of it ahead, so a click waits at most that long
// for the sink's next round of mixing. Measured from 1 to 20 ms: none lost or cut a click (it
// is written whole), but below 10 ms the idle server works twice as hard, and above it each
// 5 ms more adds about 1 ms to every click.
constexpr pa_usec_t TargetLatencyMicroseconds = 10000;
// Rounds of the main loop a press may run: enough to read what came and send the click.
constexpr int PressRounds = 8;

struct AudioOutput {
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;   // connected when a sound is loaded
    std::vector<std::uint8_t> samples;
    bool failed = false;           // the server went away; nothing more is played
};

AudioOutput Output;

bool ContextDone(pa_context_state_t state) { return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state); }
bool StreamDone(pa_stream_state_t state) { return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state); }

// Runs the main loop until `done` or the limit (at start-up only).
template <typename Done>
void RunUntil(Done done, std::chrono::microseconds limit)
{
    const Clock::time_point until = Clock::now() + limit;
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(until - Clock::now());
        if (left <= 0us || pa_mainloop_prepare(Output.loop, static_cast<int>(left.count())) < 0
            || pa_mainloop_poll(Output.loop) < 0 || pa_mainloop_dispatch(Output.loop) < 0)
            return;
    }
}

// Handles what the server sent, without waiting; false when the connection has failed.
bool Connected()
{
    for (int round = 0; round < PressRounds; ++round)
        if (pa_mainloop_iterate(Output.loop, 0, nullptr) <= 0) break;
    return pa_context_get_state(Output.context) == PA_CONTEXT_READY && Output.stream != nullptr
           && pa_stream_get_state(Output.stream) == PA_STREAM_READY;
}

void DropStream()
{
    if (Output.stream == nullptr) return;
    pa_stream_disconnect(Output.stream);
    pa_stream_unref(Output.stream);
    Output.stream = nullptr;
}

std::optional<pa_sample_format_t> SampleFormat(int bitsPerSample)
{
    switch (bitsPerSample) {
    case 8: return PA_SAMPLE_U8;
    case 16: return PA_SAMPLE_S16LE;
    case 32: return PA_SAMPLE_S32LE;
    default: return std::nullopt;
    }
}

}  // namespace

bool OpenAudioOutput()
{
    CloseAudioOutput();
    Output.loop = pa_mainloop_new();
    if (Output.loop == nullptr) return false;
    Output.context = pa_context_new(pa_mainloop_get_api(Output.loop), "Skarvel");
    // Never start a sound server: one that is not running means silence, quickly.
    if (Output.context == nullptr || pa_context_connect(Output.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        CloseAudioOutput();
        return false;
    }
    RunUntil([] { return ContextDone(pa_context_get_state(Output.context)); }, ServerAnswerLimit);
    if (pa_context_get_state(Output.context) != PA_CONTEXT_READY) {
        CloseAudioOutput();
        return false;
    }
    return true;
}

bool LoadSound(const PcmFormat& format, std::span<const std::uint8_t> samples)
{
    if (Output.context == nullptr) return false;
    DropStream();
    Output.samples.clear();

    const std::optional<pa_sample_format_t> sampleFormat = SampleFormat(format.bitsPerSample);
    if (samples.empty() || !sampleFormat || Output.failed || format.channels <= 0
        || format.channels > static_cast<int>(PA_CHANNELS_MAX) || format.samplesPerSecond <= 0)
        return false;
    const pa_sample_spec streamFormat{*sampleFormat, static_cast<std::uint32_t>(format.samplesPerSecond),
                                      static_cast<std::uint8_t>(format.channels)};
    if (!pa_sample_spec_valid(&streamFormat)) return false;

    Output.stream = pa_stream_new(Output.context, "click", &streamFormat, nullptr);
    if (Output.stream == nullptr) return false;
    pa_buffer_attr buffer;
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(TargetLatencyMicroseconds, &streamFormat));
    buffer.prebuf = static_cast<std::uint32_t>(pa_frame_size(&streamFormat));
    buffer.minreq = static_cast<std::uint32_t>(-1);
    buffer.fragsize = static_cast<std::uint32_t>(-1);
    if (pa_stream_connect_playback(Output.stream, nullptr, &buffer, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) == 0)
        RunUntil([] { return StreamDone(pa_stream_get_state(Output.stream)); }, ServerAnswerLimit);
    if (pa_stream_get_state(Output.stream) != PA_STREAM_READY) {
        DropStream();
        return false;
    }
    Output.samples.assign(samples.begin(), samples.end());
    return true;
}

void PlayFromStart()
{
    if (Output.stream == nullptr || Output.failed) return;
    if (!Connected()
        || pa_stream_write(Output.stream, Output.samples.data(), Output.samples.size(), nullptr, 0,
                           PA_SEEK_RELATIVE_ON_READ) < 0) {
        Output.failed = true;
        return;
    }
    for (int round = 0; round < PressRounds && pa_context_is_pending(Output.context) > 0; ++round)
        pa_mainloop_iterate(Output.loop, 0, nullptr);
}

void CloseAudioOutput()
{
    DropStream();
    if (Output.context != nullptr) {
        pa_context_disconnect(Output.context);
        pa_context_unref(Output.context);
    }
    if (Output.loop != nullptr) pa_mainloop_free(Output.loop);
    Output = AudioOutput{};
}
