// Finds the sample format and the samples of a RIFF WAVE image held in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/audio.h"

struct WaveSound {
    PcmFormat format;
    std::span<const std::uint8_t> samples;   // a view into the image, whole sample frames only
};

// Nothing when the image is not a PCM RIFF WAVE image with some samples in it. Never reads
// outside the image, whatever its chunk sizes say.
std::optional<WaveSound> ReadWaveImage(std::span<const std::uint8_t> image);
