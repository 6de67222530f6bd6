// One short PCM sound on the default audio output, restartable at any moment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct PcmFormat {
    int channels = 1;
    int samplesPerSecond = 22050;
    int bitsPerSample = 16;
};

// False when there is no audio device or no sound server; takes well under a second either way.
bool OpenAudioOutput();

// Keeps a copy of the samples for PlayFromStart. False when the format cannot be played.
bool LoadSound(const PcmFormat& format, std::span<const std::uint8_t> samples);

// Stops the sound if it is still playing, rewinds it and plays it once. Returns at once; does
// nothing when no sound is loaded or the output has failed.
void PlayFromStart();

// Releases the output (at the end of the program).
void CloseAudioOutput();
