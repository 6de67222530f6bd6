// The audio boundary over WASAPI in shared mode: a stream of the system's mix format whose buffer
// holds the whole click, kept running while a press may come (the engine plays silence while
// nothing is written), so that a press only writes the click; DirectSound's static buffer is
// mixed far ahead of the sink under Wine. While the desktop expects no press the stream is
// stopped: a running stream keeps the audio engine busy, and Windows counts it as audio in use,
// which holds off the system's sleep. A click restarted while one still sounds stops the
// stream, empties it and starts it again with one silent frame first: Wine empties the server's
// part of a stream only while it counts something as not yet played. Without a device the
// program runs silently.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmreg.h>
#include <mmdeviceapi.h>
#include <audioclient.h>

#include "platform/audio.h"
#include "utils/timing.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The stream's buffer in 100-ns units: the click (31 ms) fits whole, so that it is written at
// once and nothing has to be fed later.
constexpr REFERENCE_TIME MinimumBuffer = 500000;

struct AudioOutput {
    IAudioClient* client = nullptr;        // the device's, until a sound is loaded into it
    IAudioRenderClient* render = nullptr;  // the running stream; none until a sound is loaded
    WAVEFORMATEX* mix = nullptr;           // the format the stream has
    std::vector<std::uint8_t> click;       // the sound in that format
    UINT32 clickFrames = 0;
    Clock::duration clickTime{};
    Clock::time_point lastStart{};         // when the last click was written
    bool resting = false;                  // the stream stopped until the desktop expects a press
    bool failed = false;                   // the device went away; nothing more is tried
};

AudioOutput Output;

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
// samples in every channel, float or whole-number samples. False for a format not met on any
// system (24-bit samples, or more than 32 bits).
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
    Output.click.assign(static_cast<std::size_t>(frames) * mix.nBlockAlign, 0);
    std::uint8_t* out = Output.click.data();
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
    Output.clickFrames = frames;
    return true;
}

void NoteFailure(HRESULT result)
{
    if (result == AUDCLNT_E_DEVICE_INVALIDATED || result == AUDCLNT_E_SERVICE_NOT_RUNNING)
        Output.failed = true;
}

}  // namespace

bool OpenAudioOutput()
{
    CloseAudioOutput();
    // The desktop asks for the same apartment later; either call may come first.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (FAILED(com) && com != RPC_E_CHANGED_MODE)
        return false;
    IMMDeviceEnumerator* devices = nullptr;
    IMMDevice* device = nullptr;
    const bool found =
        SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                   reinterpret_cast<void**>(&devices)))
        && SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, &device))
        && SUCCEEDED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                      reinterpret_cast<void**>(&Output.client)))
        && SUCCEEDED(Output.client->GetMixFormat(&Output.mix));
    Release(device);
    Release(devices);
    if (!found) {
        CloseAudioOutput();
        return false;
    }
    return true;
}

bool LoadSound(const PcmFormat& format, std::span<const std::uint8_t> samples)
{
    Output.click.clear();
    if (!Output.client || !Output.mix || Output.failed || format.channels <= 0 || format.samplesPerSecond <= 0
        || !Convert(format, samples, *Output.mix))
        return false;
    const auto soundTime = static_cast<REFERENCE_TIME>(10000000.0 * Output.clickFrames / Output.mix->nSamplesPerSec);
    Output.clickTime = std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(soundTime * 100));
    // The stream is made for the first sound and started at once, and a later one must fit it.
    // Under Wine, a stream started only at the first press now and then lost the end of that
    // click while Wine was still busy starting up.
    if (!Output.render) {
        if (FAILED(Output.client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, std::max(MinimumBuffer, 2 * soundTime), 0,
                                             Output.mix, nullptr))
            || FAILED(Output.client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&Output.render)))
            || FAILED(Output.client->Start())) {
            Release(Output.render);
            Output.click.clear();
            return false;
        }
    }
    UINT32 bufferFrames = 0;
    if (FAILED(Output.client->GetBufferSize(&bufferFrames)) || Output.clickFrames > bufferFrames) {
        Output.click.clear();
        return false;
    }
    return true;
}

void PlayFromStart()
{
    if (!Output.render || Output.failed || Output.click.empty())
        return;
    const Clock::time_point now = Clock::now();
    UINT32 queued = 0;
    HRESULT result = Output.client->GetCurrentPadding(&queued);
    // What is left of a click still sounding is dropped, so that the new one starts from its first
    // sample at once and the two never overlap; the stream starts again with the click in it. A
    // resting stream holds nothing (it rests only once the last click is through): the click is
    // written and the stream started.
    const bool restart = SUCCEEDED(result)
                         && (queued > 0 || (!Output.resting && now - Output.lastStart < Output.clickTime + ClickAfterglow));
    BYTE* buffer = nullptr;
    if (restart) {
        Output.client->Stop();
        if (SUCCEEDED(Output.render->GetBuffer(1, &buffer)))
            Output.render->ReleaseBuffer(1, AUDCLNT_BUFFERFLAGS_SILENT);
        result = Output.client->Reset();
    }
    if (SUCCEEDED(result))
        result = Output.render->GetBuffer(Output.clickFrames, &buffer);
    if (SUCCEEDED(result)) {
        std::memcpy(buffer, Output.click.data(), Output.click.size());
        result = Output.render->ReleaseBuffer(Output.clickFrames, 0);
    }
    if ((restart || Output.resting) && SUCCEEDED(result)) {
        result = Output.client->Start();
        Output.resting = false;
    }
    Output.lastStart = now;
    NoteFailure(result);
}

bool RestAudioOutput()
{
    if (!Output.render || Output.failed || Output.resting)
        return true;
    // Stopped now, a click still on its way would keep its rest until the next press.
    if (Clock::now() - Output.lastStart < Output.clickTime + ClickAfterglow)
        return false;
    NoteFailure(Output.client->Stop());
    Output.resting = true;
    return true;
}

void WakeAudioOutput()
{
    if (!Output.render || Output.failed || !Output.resting)
        return;
    NoteFailure(Output.client->Start());
    Output.resting = false;
}

void CloseAudioOutput()
{
    if (Output.client && Output.render)
        Output.client->Stop();
    Release(Output.render);
    Release(Output.client);
    if (Output.mix)
        CoTaskMemFree(Output.mix);
    Output = AudioOutput{};
}
