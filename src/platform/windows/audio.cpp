// The audio boundary over WASAPI in shared mode: a stream of the system's mix format whose buffer
// holds the whole click, kept running while a press may come (the engine plays silence while
// nothing is written), so that a press only writes the click; DirectSound's static buffer is
// mixed far ahead of the sink under Wine. While the desktop expects no press the stream is
// stopped: a running stream keeps the audio engine busy, and Windows counts it as audio in use,
// which holds off the system's sleep. A click restarted while one still sounds stops the
// stream, empties it and starts it again with one silent frame first: Wine empties the server's
// part of a stream only while it counts something as not yet played. Without a device the
// program runs silently. A device that goes away (unplugged, its driver or the audio service
// restarted) is let go, and the default device of the moment opened at the next press or wake,
// at most once a second; so is a new default device, which the system tells of on a thread of
// its own (a flag read at the press costs nothing, where asking for the default device's id at
// every press costs a call into the audio service).
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmreg.h>
#include <mmdeviceapi.h>
#include <audioclient.h>

#include "platform/audio.h"
#include "utils/timing.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace {

// How long after its start a click may still be on its way through the system: a press
// within that time restarts the stream, whatever the stream says it still holds.
constexpr std::chrono::milliseconds ClickAfterglow = 60ms;
// How long a stream just opened runs before a click is written into it (a press that
// opened the device again waits for it): Wine lost the end of a click written sooner.
constexpr std::chrono::milliseconds FreshStreamSettle = 40ms;
// The silence written after the click: a stream on a sound server that had only just
// started lost the last few ms written into it, which are then silence, not the click's end.
constexpr std::chrono::milliseconds ClickTrailingSilence = 20ms;

using Clock = std::chrono::steady_clock;

// The stream's buffer in 100-ns units: the click (31 ms) fits whole, so that it is written at
// once and nothing has to be fed later.
constexpr REFERENCE_TIME MinimumBuffer = 500000;

struct AudioState {
    IMMDeviceEnumerator* devices = nullptr;   // finds the default device, tells of a new one
    bool watching = false;                    // told of a new default device
    IAudioClient* client = nullptr;           // the device's
    IAudioRenderClient* render = nullptr;     // the stream; none without a device
    WAVEFORMATEX* mix = nullptr;              // the format the stream has
    PcmFormat format;                         // the sound as loaded, for every device's format
    std::vector<std::uint8_t> sound;
    std::vector<std::uint8_t> click;          // the sound in the stream's format
    UINT32 clickFrames = 0;
    Clock::duration clickTime{};
    Clock::time_point lastStart{};            // when the last click was written
    bool fresh = false;                       // the stream opened and not yet started
    Clock::time_point firstStarted{};         // when the stream was started the first time
    bool suspended = false;                     // the stream stopped, until a press or the desktop's resume
    bool lost = false;                        // no device now: one is looked for at a press or wake
    std::optional<Clock::time_point> lastTry; // when a device was last opened
    Clock::time_point lastCheck{};             // when the stream was last asked whether it stands
};

AudioState Audio;

// Set on the system's thread when another device becomes the default output.
std::atomic<bool> DefaultChanged{false};

// Told of a new default output. One object for the life of the process: its count of
// references means nothing.
class DefaultDeviceWatch final : public IMMNotificationClient {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        *object = id == __uuidof(IUnknown) || id == __uuidof(IMMNotificationClient) ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override
    {
        if (flow == eRender && role == eConsole)
            DefaultChanged = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }
};

DefaultDeviceWatch Watch;

template <typename Interface>
void Release(Interface*& object)
{
    if (object)
        object->Release();
    object = nullptr;
}

// The format's samples are of the kind `tag` (WAVE_FORMAT_PCM or WAVE_FORMAT_IEEE_FLOAT), said
// plainly or in an extensible format's subformat.
bool HasSamples(const WAVEFORMATEX& format, WORD tag)
{
    return format.wFormatTag == tag
           || (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE
               && reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format).SubFormat.Data1 == tag);
}

// One sample of the sound, -1 to 1: the first channel of a frame.
double SampleAt(const PcmFormat& format, std::span<const std::uint8_t> samples, std::size_t frame)
{
    const std::size_t bytes = static_cast<std::size_t>(format.bitsPerSample / 8);
    const std::uint8_t* at = samples.data() + frame * bytes * static_cast<std::size_t>(format.channels);
    switch (format.bitsPerSample) {
    case 8: return (at[0] - 128) / 128.0;
    case 16: return static_cast<std::int16_t>(at[0] | at[1] << 8) / 32768.0;
    case 32: return static_cast<std::int32_t>(at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24)
                    / 2147483648.0;
    default: return 0;
    }
}

// The sound in the stream's format: its rate (linear between samples), the first channel's
// samples in every channel, float or whole-number samples, then silence (ClickTrailingSilence).
// False for a format not met on any system (24-bit samples, or more than 32 bits).
bool Convert(const PcmFormat& format, std::span<const std::uint8_t> samples, const WAVEFORMATEX& mix)
{
    const std::size_t frameBytes = static_cast<std::size_t>(format.channels * format.bitsPerSample / 8);
    const std::size_t sourceFrames = samples.size() / frameBytes;
    const bool isFloat = HasSamples(mix, WAVE_FORMAT_IEEE_FLOAT);
    if (sourceFrames == 0
        || !(isFloat ? mix.wBitsPerSample == 32
                     : HasSamples(mix, WAVE_FORMAT_PCM) && (mix.wBitsPerSample == 16 || mix.wBitsPerSample == 32)))
        return false;
    const double step = static_cast<double>(format.samplesPerSecond) / mix.nSamplesPerSec;
    const auto frames = static_cast<UINT32>(static_cast<double>(sourceFrames) / step);
    const auto silentFrames = static_cast<UINT32>(mix.nSamplesPerSec * ClickTrailingSilence.count() / 1000);
    Audio.click.assign(static_cast<std::size_t>(frames + silentFrames) * mix.nBlockAlign, 0);
    std::uint8_t* out = Audio.click.data();
    for (UINT32 frame = 0; frame < frames; ++frame) {
        const double at = frame * step;
        const auto i = static_cast<std::size_t>(at);
        const double next = i + 1 < sourceFrames ? SampleAt(format, samples, i + 1) : 0.0;
        const double here = SampleAt(format, samples, i);
        const double value = std::clamp(here + (at - static_cast<double>(i)) * (next - here), -1.0, 1.0);
        for (int channel = 0; channel < mix.nChannels; ++channel) {
            if (isFloat) {
                const auto sample = static_cast<float>(value);
                std::memcpy(out, &sample, sizeof sample);
            } else if (mix.wBitsPerSample == 16) {
                const auto sample = static_cast<std::int16_t>(value * 32767);
                std::memcpy(out, &sample, sizeof sample);
            } else {
                const auto sample = static_cast<std::int32_t>(value * 2147483647.0);
                std::memcpy(out, &sample, sizeof sample);
            }
            out += mix.wBitsPerSample / 8;
        }
    }
    Audio.clickFrames = frames + silentFrames;
    return true;
}

// Lets go of the device; the sound stays loaded for the next one.
void DropDevice()
{
    if (Audio.client && Audio.render)
        Audio.client->Stop();
    Release(Audio.render);
    Release(Audio.client);
    if (Audio.mix)
        CoTaskMemFree(Audio.mix);
    Audio.mix = nullptr;
    Audio.click.clear();
}

// Opens the default device with the sound's stream on it, stopped.
bool OpenDevice()
{
    DropDevice();
    Audio.lastTry = Clock::now();
    DefaultChanged = false;
    IMMDevice* device = nullptr;
    bool opened = Audio.devices && SUCCEEDED(Audio.devices->GetDefaultAudioEndpoint(eRender, eConsole, &device))
                  && SUCCEEDED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                                reinterpret_cast<void**>(&Audio.client)))
                  && SUCCEEDED(Audio.client->GetMixFormat(&Audio.mix)) && Convert(Audio.format, Audio.sound, *Audio.mix);
    Release(device);
    if (opened) {
        const auto soundTime = static_cast<REFERENCE_TIME>(10000000.0 * Audio.clickFrames / Audio.mix->nSamplesPerSec);
        Audio.clickTime = std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(soundTime * 100));
        UINT32 bufferFrames = 0;
        opened = SUCCEEDED(Audio.client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, std::max(MinimumBuffer, 2 * soundTime),
                                                     0, Audio.mix, nullptr))
                 && SUCCEEDED(Audio.client->GetService(__uuidof(IAudioRenderClient),
                                                        reinterpret_cast<void**>(&Audio.render)))
                 && SUCCEEDED(Audio.client->GetBufferSize(&bufferFrames)) && Audio.clickFrames <= bufferFrames;
    }
    if (!opened)
        DropDevice();
    Audio.lost = !opened;
    Audio.suspended = Audio.fresh = true;
    return opened;
}

// A device gone away is let go; the next press or wake looks for one.
void NoteFailure(HRESULT result)
{
    if (result == AUDCLNT_E_DEVICE_INVALIDATED || result == AUDCLNT_E_SERVICE_NOT_RUNNING) {
        DropDevice();
        Audio.lost = true;
    }
}

// Opens the default device when there was none or another has become the default, unless the
// last try was moments ago.
void Revive()
{
    if ((Audio.lost || DefaultChanged) && !Audio.sound.empty()
        && !(Audio.lastTry && Clock::now() - *Audio.lastTry < AudioReopenInterval))
        OpenDevice();
}

// Starts a stopped stream, so that a press only writes the click.
void StartStream()
{
    if (Audio.render && Audio.suspended) {
        NoteFailure(Audio.client->Start());
        Audio.suspended = Audio.lost;
        if (std::exchange(Audio.fresh, false))
            Audio.firstStarted = Clock::now();
    }
}

// Writes the click into the stream and starts it where needed; the first failure's result. A
// stream just opened runs a moment first: Wine lost the end of a click written into a stream it
// had only just begun to feed.
HRESULT Play()
{
    if (Audio.fresh)
        StartStream();
    if (const auto settling = Audio.firstStarted + FreshStreamSettle - Clock::now(); settling > Clock::duration::zero())
        Sleep(static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(settling).count()));
    if (!Audio.render)
        return S_OK;
    const Clock::time_point now = Clock::now();
    UINT32 queued = 0;
    HRESULT result = Audio.client->GetCurrentPadding(&queued);
    // What is left of a click still sounding is dropped, so that the new one starts from its first
    // sample at once and the two never overlap; the stream starts again with the click in it. A
    // suspended stream holds nothing (it is suspended only once the last click is through): the click is
    // written and the stream started.
    const bool restart = SUCCEEDED(result)
                         && (queued > 0 || (!Audio.suspended && now - Audio.lastStart < Audio.clickTime + ClickAfterglow));
    BYTE* buffer = nullptr;
    if (restart) {
        Audio.client->Stop();
        if (SUCCEEDED(Audio.render->GetBuffer(1, &buffer)))
            Audio.render->ReleaseBuffer(1, AUDCLNT_BUFFERFLAGS_SILENT);
        result = Audio.client->Reset();
    }
    if (SUCCEEDED(result))
        result = Audio.render->GetBuffer(Audio.clickFrames, &buffer);
    if (SUCCEEDED(result)) {
        std::memcpy(buffer, Audio.click.data(), Audio.click.size());
        result = Audio.render->ReleaseBuffer(Audio.clickFrames, 0);
    }
    if ((restart || Audio.suspended) && SUCCEEDED(result)) {
        result = Audio.client->Start();
        Audio.suspended = false;
    }
    Audio.lastStart = now;
    return result;
}

}  // namespace

bool OpenAudio()
{
    CloseAudio();
    // The desktop asks for the same apartment later; either call may come first.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if ((FAILED(com) && com != RPC_E_CHANGED_MODE)
        || FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                   reinterpret_cast<void**>(&Audio.devices))))
        return false;
    Audio.watching = SUCCEEDED(Audio.devices->RegisterEndpointNotificationCallback(&Watch));
    return true;
}

bool LoadSound(const PcmFormat& format, std::span<const std::uint8_t> samples)
{
    DropDevice();
    Audio.sound.clear();
    const bool playable = (format.bitsPerSample == 8 || format.bitsPerSample == 16 || format.bitsPerSample == 32)
                          && format.channels > 0 && format.samplesPerSecond > 0;
    if (!Audio.devices || !playable || samples.size() < static_cast<std::size_t>(format.channels * format.bitsPerSample / 8))
        return false;
    Audio.format = format;
    Audio.sound.assign(samples.begin(), samples.end());
    // Without a device now, the sound waits for one. Under Wine, a stream started only at the
    // first press now and then lost the end of that click while Wine was still busy starting up.
    const bool suspended = Audio.suspended;
    OpenDevice();
    if (!suspended)
        StartStream();
    return true;
}

void PlayFromStart()
{
    if (Audio.sound.empty())
        return;
    Revive();
    if (!Audio.render)
        return;
    NoteFailure(Play());
    // Gone since the last press: the device found in its place plays this click.
    if (Audio.lost) {
        Revive();
        if (Audio.render)
            NoteFailure(Play());
    }
}

bool SuspendAudio()
{
    if (Audio.render && !Audio.suspended) {
        // Stopped now, a click still on its way would keep its remainder until the next press.
        if (Clock::now() - Audio.lastStart < Audio.clickTime + ClickAfterglow)
            return false;
        NoteFailure(Audio.client->Stop());
    }
    Audio.suspended = true;
    return true;
}

void ResumeAudio()
{
    // A device gone away shows here, before the press: asked when the stream was suspended, else once a
    // second at most.
    const Clock::time_point now = Clock::now();
    if (Audio.render && (Audio.suspended || now - Audio.lastCheck >= AudioReopenInterval)) {
        Audio.lastCheck = now;
        UINT32 queued = 0;
        NoteFailure(Audio.client->GetCurrentPadding(&queued));
    }
    Revive();
    StartStream();
}

void CloseAudio()
{
    DropDevice();
    if (Audio.watching)
        Audio.devices->UnregisterEndpointNotificationCallback(&Watch);
    Release(Audio.devices);
    Audio = AudioState{};
    DefaultChanged = false;
}
