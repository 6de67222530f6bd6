// One short PCM sound on the default audio output, restartable at any moment. The output is
// made ready when the sound is loaded, so that playing it only starts it: on Linux a sound
// server stream kept connected, on Windows a WASAPI stream kept running.
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

// Keeps a copy of the samples and readies the output to play them (replacing any sound loaded
// before); takes well under a second. False when the format cannot be played or the output
// does not take it; nothing is loaded then.
bool LoadSound(const PcmFormat& format, std::span<const std::uint8_t> samples);

// Plays the sound once from its first sample, at once, with nothing queued in front of it; a
// sound still playing stops where the new start begins, so the two never overlap. Never waits
// for the device or the sound server; does nothing when no sound is loaded, and nothing ever
// again once the output has failed (the sound server went away).
void PlayFromStart();

// Releases the output (at the end of the program).
void CloseAudioOutput();
