// A bare Windows sound client for bench/click_latency.sh: plays the click 20 times through one
// Windows audio API as directly as that API allows, and right after starting each click sends a
// command to the board, as the program does after its click, so that the board's receipt stamps
// the press on the station's clock.
//   directsound: a static buffer made once, then Stop, SetCurrentPosition(0), Play;
//   wasapi: a shared-mode stream of the mix format with a small buffer, started at once and left
//           running (the engine plays silence while nothing is written), the click written at
//           each press.
// Usage: win32_click_client.exe directsound|wasapi BOARD_PORT COMMAND
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <dsound.h>
#include <mmdeviceapi.h>
#include <audioclient.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sound/click_sound.h"
#include "sound/riff.h"

namespace {

constexpr int Clicks = 20;
constexpr int SpacingMs = 300;          // and up to 10 ms more, as the station's own bare client
constexpr REFERENCE_TIME WasapiBuffer = 500000;   // 50 ms in 100-ns units: the whole click fits

WaveSound Click()
{
    const std::optional<WaveSound> sound = ReadWaveImage(ClickSound);
    if (!sound) {
        std::fprintf(stderr, "no click image\n");
        std::exit(1);
    }
    return *sound;
}

// --- DirectSound ---------------------------------------------------------------------------------

IDirectSoundBuffer* DirectSoundClick(const WaveSound& click)
{
    using Create = HRESULT(WINAPI*)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN);
    HMODULE library = LoadLibraryW(L"dsound.dll");
    const auto create = library ? reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(library, "DirectSoundCreate")))
                                : nullptr;
    IDirectSound* device = nullptr;
    if (!create || FAILED(create(nullptr, &device, nullptr))
        || FAILED(device->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY)))
        return nullptr;
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = static_cast<WORD>(click.format.channels);
    wave.nSamplesPerSec = static_cast<DWORD>(click.format.samplesPerSecond);
    wave.wBitsPerSample = static_cast<WORD>(click.format.bitsPerSample);
    wave.nBlockAlign = static_cast<WORD>(wave.nChannels * wave.wBitsPerSample / 8);
    wave.nAvgBytesPerSec = wave.nSamplesPerSec * wave.nBlockAlign;
    DSBUFFERDESC description{};
    description.dwSize = sizeof description;
    description.dwFlags = DSBCAPS_STATIC | DSBCAPS_GLOBALFOCUS;
    description.dwBufferBytes = static_cast<DWORD>(click.samples.size());
    description.lpwfxFormat = &wave;
    IDirectSoundBuffer* buffer = nullptr;
    if (FAILED(device->CreateSoundBuffer(&description, &buffer, nullptr)))
        return nullptr;
    void* bytes = nullptr;
    DWORD size = 0;
    if (FAILED(buffer->Lock(0, description.dwBufferBytes, &bytes, &size, nullptr, nullptr, 0)))
        return nullptr;
    std::memcpy(bytes, click.samples.data(), size);
    buffer->Unlock(bytes, size, nullptr, 0);
    return buffer;
}

// --- WASAPI --------------------------------------------------------------------------------------

struct WasapiStream {
    IAudioClient* client = nullptr;
    IAudioRenderClient* render = nullptr;
    std::vector<float> click;   // in the mix format: float samples, every channel
    UINT32 frames = 0;
    int channels = 0;
};

std::optional<WasapiStream> WasapiClick(const WaveSound& click)
{
    IMMDeviceEnumerator* devices = nullptr;
    IMMDevice* device = nullptr;
    WasapiStream stream;
    WAVEFORMATEX* mix = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&devices)))
        || FAILED(devices->GetDefaultAudioEndpoint(eRender, eConsole, &device))
        || FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&stream.client)))
        || FAILED(stream.client->GetMixFormat(&mix)))
        return std::nullopt;
    // The bare client asks for float samples in the mix's rate and channels, which shared mode
    // takes everywhere.
    WAVEFORMATEXTENSIBLE format{};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = mix->nChannels;
    format.Format.nSamplesPerSec = mix->nSamplesPerSec;
    format.Format.wBitsPerSample = 32;
    format.Format.nBlockAlign = static_cast<WORD>(4 * mix->nChannels);
    format.Format.nAvgBytesPerSec = format.Format.nSamplesPerSec * format.Format.nBlockAlign;
    format.Format.cbSize = sizeof format - sizeof format.Format;
    format.Samples.wValidBitsPerSample = 32;
    format.dwChannelMask = mix->wFormatTag == WAVE_FORMAT_EXTENSIBLE
                               ? reinterpret_cast<WAVEFORMATEXTENSIBLE*>(mix)->dwChannelMask
                               : (mix->nChannels == 1 ? SPEAKER_FRONT_CENTER : SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT);
    format.SubFormat = {WAVE_FORMAT_IEEE_FLOAT, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    stream.channels = mix->nChannels;
    if (FAILED(stream.client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, WasapiBuffer, 0, &format.Format, nullptr))
        || FAILED(stream.client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&stream.render))))
        return std::nullopt;
    // The click at the mix's rate (linear between samples), the same in every channel.
    const auto* source = reinterpret_cast<const std::int16_t*>(click.samples.data());
    const std::size_t sourceFrames = click.samples.size() / 2;
    const double step = static_cast<double>(click.format.samplesPerSecond) / mix->nSamplesPerSec;
    stream.frames = static_cast<UINT32>(static_cast<double>(sourceFrames) / step);
    for (UINT32 frame = 0; frame < stream.frames; ++frame) {
        const double at = frame * step;
        const auto i = static_cast<std::size_t>(at);
        const double next = i + 1 < sourceFrames ? source[i + 1] : 0.0;
        const float value = static_cast<float>((source[i] + (at - static_cast<double>(i)) * (next - source[i])) / 32768.0);
        for (int channel = 0; channel < stream.channels; ++channel)
            stream.click.push_back(value);
    }
    stream.client->Start();
    return stream;
}

void WasapiPlay(WasapiStream& stream)
{
    BYTE* data = nullptr;
    UINT32 padding = 0;
    stream.client->GetCurrentPadding(&padding);
    if (padding > 0) {
        // A click still queued: dropped, so that the new one starts at once.
        stream.client->Stop();
        stream.client->Reset();
        stream.client->Start();
    }
    if (SUCCEEDED(stream.render->GetBuffer(stream.frames, &data))) {
        std::memcpy(data, stream.click.data(), stream.click.size() * sizeof(float));
        stream.render->ReleaseBuffer(stream.frames, 0);
    }
}

// --- the board -----------------------------------------------------------------------------------

SOCKET Connect(unsigned short port)
{
    WSADATA winsock;
    WSAStartup(MAKEWORD(2, 2), &winsock);
    SOCKET board = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (board == INVALID_SOCKET || connect(board, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "no board on port %u\n", port);
        std::exit(1);
    }
    DWORD limit = 2000;
    setsockopt(board, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
    return board;
}

void Tell(SOCKET board, const std::string& command)
{
    const std::string line = command + "\r";
    send(board, line.data(), static_cast<int>(line.size()), 0);
    char reply[500];
    recv(board, reply, sizeof reply, 0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s directsound|wasapi BOARD_PORT COMMAND\n", argv[0]);
        return 2;
    }
    const std::string api = argv[1];
    const auto port = static_cast<unsigned short>(std::atoi(argv[2]));
    const std::string command = argv[3];
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const WaveSound click = Click();
    IDirectSoundBuffer* buffer = nullptr;
    std::optional<WasapiStream> stream;
    if (api == "directsound")
        buffer = DirectSoundClick(click);
    else if (api == "wasapi")
        stream = WasapiClick(click);
    if (!buffer && !stream) {
        std::fprintf(stderr, "%s: no sound output\n", api.c_str());
        return 1;
    }
    const SOCKET board = Connect(port);
    std::this_thread::sleep_for(std::chrono::seconds(1));   // settled
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> spread(0, 10);
    for (int i = 0; i < Clicks; ++i) {
        if (buffer) {
            buffer->Stop();
            buffer->SetCurrentPosition(0);
            buffer->Play(0, 0, 0);
        } else {
            WasapiPlay(*stream);
        }
        Tell(board, command);
        std::this_thread::sleep_for(std::chrono::milliseconds(SpacingMs + spread(random)));
    }
    closesocket(board);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));   // the last click out
    if (buffer) {
        buffer->Stop();
        buffer->Release();
    } else {
        stream->client->Stop();
        stream->render->Release();
        stream->client->Release();
    }
    std::printf("%s: %d clicks\n", api.c_str(), Clicks);
    return 0;
}
