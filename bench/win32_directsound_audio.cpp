// The Windows program's click over DirectSound, as it was before WASAPI measured faster: one
// short sound in a static buffer, restarted from its first sample on every request (Stop,
// SetCurrentPosition(0), Play). bench/click_latency.sh measures skarvel_directsound.exe, the
// program over this file, beside the program over WASAPI. DirectSound is loaded when the output
// opens, so that a system without it still runs the program, silently.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <dsound.h>

#include "platform/audio.h"

#include <cstring>
#include <vector>

namespace {

using DirectSoundCreateFunction = HRESULT(WINAPI*)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN);

struct AudioState {
    HMODULE library = nullptr;
    IDirectSound* device = nullptr;
    IDirectSoundBuffer* sound = nullptr;   // the loaded sound; none until one is loaded
    std::vector<std::uint8_t> samples;     // its copy, should the system take the buffer back
    bool failed = false;                   // playing broke for good; nothing more is tried
};

AudioState Audio;

void ReleaseSound()
{
    if (Audio.sound)
        Audio.sound->Release();
    Audio.sound = nullptr;
    Audio.samples.clear();
}

// Copies the samples into the buffer from its start.
bool Fill(IDirectSoundBuffer* buffer, std::span<const std::uint8_t> samples)
{
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstSize = 0;
    DWORD secondSize = 0;
    if (FAILED(buffer->Lock(0, static_cast<DWORD>(samples.size()), &first, &firstSize, &second, &secondSize, 0)))
        return false;
    std::memcpy(first, samples.data(), firstSize);
    if (second)
        std::memcpy(second, samples.data() + firstSize, secondSize);
    buffer->Unlock(first, firstSize, second, secondSize);
    return true;
}

}  // namespace

bool OpenAudio()
{
    CloseAudio();
    Audio.library = LoadLibraryW(L"dsound.dll");
    if (!Audio.library)
        return false;
    const auto create = reinterpret_cast<DirectSoundCreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(Audio.library, "DirectSoundCreate")));
    if (!create || FAILED(create(nullptr, &Audio.device, nullptr)) || !Audio.device) {
        CloseAudio();
        return false;
    }
    // The program has no window yet; the desktop's serves, and the buffer's global focus lets
    // the click sound whichever window is in front.
    if (FAILED(Audio.device->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY))) {
        CloseAudio();
        return false;
    }
    return true;
}

bool LoadSound(const PcmFormat& format, std::span<const std::uint8_t> samples)
{
    ReleaseSound();
    if (!Audio.device || samples.empty() || samples.size() > DSBSIZE_MAX)
        return false;
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = static_cast<WORD>(format.channels);
    wave.nSamplesPerSec = static_cast<DWORD>(format.samplesPerSecond);
    wave.wBitsPerSample = static_cast<WORD>(format.bitsPerSample);
    wave.nBlockAlign = static_cast<WORD>(format.channels * format.bitsPerSample / 8);
    wave.nAvgBytesPerSec = wave.nSamplesPerSec * wave.nBlockAlign;

    DSBUFFERDESC description{};
    description.dwSize = sizeof description;
    description.dwFlags = DSBCAPS_STATIC | DSBCAPS_GLOBALFOCUS;
    description.dwBufferBytes = static_cast<DWORD>(samples.size());
    description.lpwfxFormat = &wave;
    if (FAILED(Audio.device->CreateSoundBuffer(&description, &Audio.sound, nullptr)) || !Audio.sound) {
        Audio.sound = nullptr;
        return false;
    }
    if (!Fill(Audio.sound, samples)) {
        ReleaseSound();
        return false;
    }
    Audio.samples.assign(samples.begin(), samples.end());
    return true;
}

void PlayFromStart()
{
    if (!Audio.sound || Audio.failed)
        return;
    // Silent at once, also when the click is still sounding, and from its first sample again:
    // nothing stands in front of it.
    Audio.sound->Stop();
    Audio.sound->SetCurrentPosition(0);
    HRESULT played = Audio.sound->Play(0, 0, 0);
    // A static buffer keeps its samples, unless the system took its memory back.
    if (played == DSERR_BUFFERLOST && SUCCEEDED(Audio.sound->Restore()) && Fill(Audio.sound, Audio.samples))
        played = Audio.sound->Play(0, 0, 0);
    if (FAILED(played))
        Audio.failed = true;
}

// Nothing to let rest: DirectSound mixes a static buffer only while it sounds.
bool SuspendAudio()
{
    return true;
}

void ResumeAudio() {}

void CloseAudio()
{
    ReleaseSound();
    if (Audio.device)
        Audio.device->Release();
    Audio.device = nullptr;
    if (Audio.library)
        FreeLibrary(Audio.library);
    Audio.library = nullptr;
    Audio.failed = false;
}
