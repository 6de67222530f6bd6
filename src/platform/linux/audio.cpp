// The audio boundary over the PulseAudio client library (which PipeWire serves as well): one
// short sound in a playback stream kept connected, so that a press only writes the sound.
// Why it is shaped so (the figures are in the README's benchmark notes):
//  - a stream opened per press starts behind what the sink has mixed ahead and waits for the
//    server; a stream kept connected with a short target latency reaches the sink in a few ms;
//  - the click is written at the point the server reads next (PA_SEEK_RELATIVE_ON_READ): it
//    replaces what is left of a click still sounding, so a restart needs no flush and no answer
//    from the server, and two clicks never overlap;
//  - a prebuffer of one frame: what is written plays at once, and the empty stream waits
//    without asking the program for anything;
//  - the library's own main loop, run from here and never waiting while playing: no thread, no
//    timer; a server gone away (restarted, say) shows at the next press or wake, which connects
//    again, at most once a second; a press waits for that, unless the server stayed silent the
//    last time;
//  - even an empty stream keeps the server mixing and its sink awake, so the stream is corked
//    while the desktop expects no press (SuspendAudio); a press writes the click first and
//    uncorks after, so that it still clicks whole;
//  - the library is loaded (not linked) and the server connected only once the desktop first
//    expects a press or a sound is played, so that the program's start does not wait for them;
//    the server's answers are read as the desktop's event loop finds them on the socket.
#include "platform/audio.h"
#include "utils/timing.h"

#include <pulse/pulseaudio.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <dlfcn.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

// How long the sound server may stay silent while the connection, and then the click's
// stream, is made.
constexpr std::chrono::milliseconds SoundServerAnswerLimit = 400ms;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The stream's target latency, as a bare sound client would ask (pacat --latency-msec=10). The
// server then keeps the sink about a quarter of it ahead, so a click waits at most that long
// for the sink's next round of mixing. Shorter makes the idle server work harder, longer makes
// every click later.
constexpr pa_usec_t TargetLatencyMicroseconds = 10000;
// Rounds of the main loop a press may run: enough to read what came and send the click.
constexpr int PressRounds = 8;
// A sound started this recently may still be sounding: corking the stream now would hold its
// remainder back until the next press.
constexpr auto SoundingAfterPlay = 1s;

// The functions of the client library the stream uses, by their names without "pa_".
#define SKARVEL_PULSE_FUNCTIONS(F)                                                                      \
    F(context_connect) F(context_disconnect) F(context_get_state) F(context_is_pending) F(context_new)  \
    F(context_unref) F(frame_size) F(mainloop_dispatch) F(mainloop_free) F(mainloop_get_api)           \
    F(mainloop_iterate) F(mainloop_new) F(mainloop_poll) F(mainloop_prepare) F(mainloop_set_poll_func) \
    F(operation_unref) F(stream_connect_playback) F(stream_cork) F(stream_disconnect)                  \
    F(stream_get_state) F(stream_new) F(stream_unref) F(stream_write) F(usec_to_bytes)

struct PulseLibrary {
#define SKARVEL_PULSE_POINTER(name) decltype(&::pa_##name) name = nullptr;
    SKARVEL_PULSE_FUNCTIONS(SKARVEL_PULSE_POINTER)
#undef SKARVEL_PULSE_POINTER
};

// The client library, loaded at the first call and kept for the life of the process; nullptr
// where it or one of its functions cannot be found.
const PulseLibrary* LoadPulse()
{
    static const std::optional<PulseLibrary> library = []() -> std::optional<PulseLibrary> {
        void* handle = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return std::nullopt;
        PulseLibrary functions;
        bool found = true;
#define SKARVEL_PULSE_LOOKUP(name)                                                                      \
    functions.name = reinterpret_cast<decltype(functions.name)>(dlsym(handle, "pa_" #name));            \
    found = found && functions.name != nullptr;
        SKARVEL_PULSE_FUNCTIONS(SKARVEL_PULSE_LOOKUP)
#undef SKARVEL_PULSE_LOOKUP
        if (!found) {
            dlclose(handle);
            return std::nullopt;
        }
        return functions;
    }();
    return library ? &*library : nullptr;
}

const PulseLibrary* Pulse = nullptr;   // once loaded

struct AudioState {
    bool wanted = false;             // opened, to be connected when first needed
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;     // made once the connection stands and a sound is loaded
    std::vector<std::uint8_t> samples;
    pa_sample_spec format{};         // the samples'
    bool failed = false;             // the server went away or never answered: no connection now
    bool silent = false;             // the last try ended with the server silent
    std::optional<Clock::time_point> lastTry;   // when a connection was last begun
    Clock::time_point lastCheck;      // when the server's events were last read
    bool corked = false;             // as the server was last told
    Clock::time_point lastPlayed;
    Clock::time_point lastAnswer;    // while opening: when the server was last heard
    // While opening, what the library's loop waits on, watched by the desktop's event loop.
    std::vector<pollfd> polled;
    int pollTimeoutMs = -1;
    bool pollMayWait = false;        // only a wait of the program's own may block
    std::vector<std::unique_ptr<QSocketNotifier>> watches;
    std::unique_ptr<QTimer> wake;
};

AudioState Audio;

// The desktop's last word: no press expected, the stream is to be corked. Until the desktop
// expects a press (its main window stands), none can come: the stream starts corked and leaves
// the server and its sink asleep while the program starts.
bool Suspended = true;

bool StreamReady()
{
    return Audio.stream != nullptr && Pulse->stream_get_state(Audio.stream) == PA_STREAM_READY;
}

// The connection or the stream is still on its way.
bool Opening()
{
    if (Audio.failed || Audio.context == nullptr) return false;
    const pa_context_state_t context = Pulse->context_get_state(Audio.context);
    if (context != PA_CONTEXT_READY) return PA_CONTEXT_IS_GOOD(context);
    if (Audio.stream == nullptr) return !Audio.samples.empty();
    return Pulse->stream_get_state(Audio.stream) == PA_STREAM_CREATING;
}

// The library's poll: notes what its loop waits on, for the desktop's event loop to watch.
int NotePoll(pollfd* fds, unsigned long count, int timeout, void*)
{
    Audio.polled.assign(fds, fds + count);
    Audio.pollTimeoutMs = timeout;
    return ::poll(fds, count, Audio.pollMayWait ? timeout : 0);
}

// One round of the library's loop; how many of its sources it ran, or -1 on an error.
int Round(std::chrono::milliseconds wait)
{
    Audio.pollMayWait = wait > 0ms;
    if (Pulse->mainloop_prepare(Audio.loop, wait > 0ms ? static_cast<int>(wait.count()) : -1) < 0
        || Pulse->mainloop_poll(Audio.loop) < 0)
        return -1;
    return Pulse->mainloop_dispatch(Audio.loop);
}

// Sends what is queued for the server (a write, a cork) and reads what it sent, without waiting.
void Flush()
{
    for (int round = 0; round < PressRounds; ++round)
        if (Pulse->mainloop_iterate(Audio.loop, 0, nullptr) <= 0 && Pulse->context_is_pending(Audio.context) <= 0) break;
}

void DropStream()
{
    if (Audio.stream == nullptr) return;
    Pulse->stream_disconnect(Audio.stream);
    Pulse->stream_unref(Audio.stream);
    Audio.stream = nullptr;
}

void StopWatching()
{
    Audio.watches.clear();
    Audio.wake.reset();
}

// Lets go of the connection; the sound stays loaded for the next one.
void Drop()
{
    StopWatching();
    DropStream();
    if (Audio.context != nullptr) {
        Pulse->context_disconnect(Audio.context);
        Pulse->context_unref(Audio.context);
        Audio.context = nullptr;
    }
    if (Audio.loop != nullptr) Pulse->mainloop_free(Audio.loop);
    Audio.loop = nullptr;
}

void Fail()
{
    Drop();
    Audio.failed = true;
}

// Tells the server to cork or uncork the stream when that differs from what it was last told.
void ApplySuspension()
{
    if (!StreamReady() || Audio.corked == Suspended) return;
    if (pa_operation* cork = Pulse->stream_cork(Audio.stream, Suspended ? 1 : 0, nullptr, nullptr)) {
        Pulse->operation_unref(cork);
        Audio.corked = Suspended;
    }
    Flush();
}

void MakeStream()
{
    Audio.stream = Pulse->stream_new(Audio.context, "click", &Audio.format, nullptr);
    if (Audio.stream == nullptr) return;
    pa_buffer_attr buffer;
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.tlength = static_cast<std::uint32_t>(Pulse->usec_to_bytes(TargetLatencyMicroseconds, &Audio.format));
    buffer.prebuf = static_cast<std::uint32_t>(Pulse->frame_size(&Audio.format));
    buffer.minreq = static_cast<std::uint32_t>(-1);
    buffer.fragsize = static_cast<std::uint32_t>(-1);
    // A stream made while no press is expected starts corked: it does not wake the sink.
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | (Suspended ? PA_STREAM_START_CORKED : 0));
    if (Pulse->stream_connect_playback(Audio.stream, nullptr, &buffer, flags, nullptr, nullptr) != 0) {
        DropStream();
        return;
    }
    Audio.corked = Suspended;
}

// Takes the opening as far as the server's answers allow: the stream once the connection
// stands, no connection once the server fails, refuses the stream or stays silent too long.
void Advance()
{
    if (Opening()) {
        if (Pulse->context_get_state(Audio.context) == PA_CONTEXT_READY && Audio.stream == nullptr
            && !Audio.samples.empty()) {
            MakeStream();
            if (Audio.stream == nullptr) Audio.samples.clear();
            Audio.lastAnswer = Clock::now();
        }
        if (StreamReady()) Audio.silent = false;
        const bool silent = Opening() && Clock::now() - Audio.lastAnswer > SoundServerAnswerLimit;
        if (!PA_CONTEXT_IS_GOOD(Pulse->context_get_state(Audio.context))
            || (Audio.stream != nullptr && !PA_STREAM_IS_GOOD(Pulse->stream_get_state(Audio.stream))) || silent) {
            Fail();
            Audio.silent = silent;
        }
    }
    ApplySuspension();
}

void Watch();

// Runs what the server's answers set off, without waiting, then watches for the next ones.
void Continue()
{
    for (int round = 0; round < PressRounds && Opening(); ++round) {
        const int ran = Round(0ms);
        if (ran < 0) break;
        if (ran > 0) Audio.lastAnswer = Clock::now();
        Advance();
        if (ran == 0) break;
    }
    Advance();
    Watch();
}

// A socket became ready or a timeout fell due: the opening goes on from the event loop's next
// round, where the watches may be replaced (not from inside their own signal).
void ContinueSoon()
{
    for (const auto& watch : Audio.watches) watch->setEnabled(false);
    if (Audio.wake) Audio.wake->stop();
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { Continue(); }, Qt::QueuedConnection);
}

// While opening, the desktop's event loop watches the library's sockets and its next timeout,
// and continues the opening from there.
void Watch()
{
    StopWatching();
    if (!Opening() || QCoreApplication::instance() == nullptr) return;
    for (const pollfd& entry : Audio.polled)
        for (const auto& [events, kind] :
             {std::pair{POLLIN, QSocketNotifier::Read}, std::pair{POLLOUT, QSocketNotifier::Write}})
            if (entry.events & events) {
                auto watch = std::make_unique<QSocketNotifier>(entry.fd, kind);
                QObject::connect(watch.get(), &QSocketNotifier::activated, watch.get(), ContinueSoon);
                Audio.watches.push_back(std::move(watch));
            }
    const auto silenceLeft =
        std::chrono::duration_cast<std::chrono::milliseconds>(Audio.lastAnswer + SoundServerAnswerLimit - Clock::now());
    auto due = std::max(silenceLeft, 0ms) + 1ms;
    if (Audio.pollTimeoutMs >= 0) due = std::min(due, std::chrono::milliseconds(Audio.pollTimeoutMs));
    Audio.wake = std::make_unique<QTimer>();
    Audio.wake->setSingleShot(true);
    QObject::connect(Audio.wake.get(), &QTimer::timeout, Audio.wake.get(), ContinueSoon);
    Audio.wake->start(due);
}

// Waits for the opening to end (at a press that came before the server answered, or without a
// desktop to wait in), as long as the server keeps answering.
void FinishOpening()
{
    StopWatching();
    while (Opening()) {
        const auto silenceLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
            Audio.lastAnswer + SoundServerAnswerLimit - Clock::now());
        const int ran = Round(std::max(silenceLeft, 1ms));
        if (ran < 0) {
            Fail();
            break;
        }
        if (ran > 0) Audio.lastAnswer = Clock::now();
        Advance();
    }
    Advance();
}

// Reads what the server sent meanwhile: only so does a server gone away show. An opening under
// way reads the server's answers itself.
void CheckServer()
{
    Audio.lastCheck = Clock::now();
    if (Audio.context == nullptr || Opening()) return;
    Flush();
    if (!PA_CONTEXT_IS_GOOD(Pulse->context_get_state(Audio.context))
        || (Audio.stream != nullptr && !PA_STREAM_IS_GOOD(Pulse->stream_get_state(Audio.stream))))
        Fail();
}

// Loads the library and starts the connection, unless there is one or the last try was moments
// ago.
void Connect()
{
    if (Audio.context != nullptr || (Audio.lastTry && Clock::now() - *Audio.lastTry < AudioReopenInterval)) return;
    Audio.lastTry = Clock::now();
    Pulse = LoadPulse();
    Audio.failed = true;
    if (Pulse == nullptr || (Audio.loop = Pulse->mainloop_new()) == nullptr) return;
    Pulse->mainloop_set_poll_func(Audio.loop, NotePoll, nullptr);
    Audio.context = Pulse->context_new(Pulse->mainloop_get_api(Audio.loop), "Skarvel");
    // Never start a sound server: one that is not running means silence, quickly.
    if (Audio.context == nullptr || Pulse->context_connect(Audio.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        Drop();
        return;
    }
    Audio.failed = false;
    Audio.lastAnswer = Clock::now();
    Continue();
    if (QCoreApplication::instance() == nullptr) FinishOpening();
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

bool OpenAudio()
{
    CloseAudio();
    Audio.wanted = true;
    // Without a desktop, nothing would tell when a press may come.
    if (!Suspended || QCoreApplication::instance() == nullptr) Connect();
    return !Audio.failed;
}

bool LoadSound(const PcmFormat& format, std::span<const std::uint8_t> samples)
{
    if (!Audio.wanted) return false;
    DropStream();
    Audio.samples.clear();

    const std::optional<pa_sample_format_t> sampleFormat = SampleFormat(format.bitsPerSample);
    if (samples.empty() || !sampleFormat || format.channels <= 0
        || format.channels > static_cast<int>(PA_CHANNELS_MAX) || format.samplesPerSecond <= 0
        || static_cast<std::uint32_t>(format.samplesPerSecond) > PA_RATE_MAX)
        return false;
    Audio.format = {*sampleFormat, static_cast<std::uint32_t>(format.samplesPerSecond),
                     static_cast<std::uint8_t>(format.channels)};
    Audio.samples.assign(samples.begin(), samples.end());
    if (Audio.context == nullptr) return true;
    if (Pulse->context_get_state(Audio.context) == PA_CONTEXT_READY) {
        MakeStream();
        if (Audio.stream == nullptr) {
            Audio.samples.clear();
            return false;
        }
        Audio.lastAnswer = Clock::now();
    }
    Continue();
    if (QCoreApplication::instance() == nullptr) FinishOpening();
    return !Audio.failed && (Opening() || StreamReady());
}

void PlayFromStart()
{
    if (!Audio.wanted || Audio.samples.empty()) return;
    CheckServer();
    Connect();
    // A server silent the last time is not waited for: the opening goes on meanwhile.
    if (Opening() && !Audio.silent) FinishOpening();
    if (!StreamReady()) return;
    if (Pulse->context_get_state(Audio.context) != PA_CONTEXT_READY
        || Pulse->stream_write(Audio.stream, Audio.samples.data(), Audio.samples.size(), nullptr, 0,
                            PA_SEEK_RELATIVE_ON_READ) < 0) {
        Fail();
        return;
    }
    Audio.lastPlayed = Clock::now();
    // Written while corked, the click waits at the stream's start for the uncork.
    Suspended = false;
    ApplySuspension();
    Flush();
}

bool SuspendAudio()
{
    if (Clock::now() - Audio.lastPlayed < SoundingAfterPlay) return false;
    Suspended = true;
    CheckServer();
    ApplySuspension();
    return true;
}

void ResumeAudio()
{
    const bool wasSuspended = Suspended;
    Suspended = false;
    if (!Audio.wanted) return;
    // What the server sent while the stream was suspended, else a check now and then: a server gone away
    // is connected again before the press.
    if (wasSuspended || Clock::now() - Audio.lastCheck >= AudioReopenInterval) CheckServer();
    Connect();
    ApplySuspension();
}

void CloseAudio()
{
    Drop();
    Audio = AudioState{};
}
