// Feeds arbitrary bytes to the RIFF WAVE walk: it must never read outside them, and whatever
// it finds must lie inside them.
#include "sound/riff.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> image(data, size);
    const std::optional<WaveSound> sound = ReadWaveImage(image);
    if (!sound) return 0;
    const bool inside = sound->samples.data() >= data && sound->samples.data() + sound->samples.size() <= data + size;
    const int frame = sound->format.channels * sound->format.bitsPerSample / 8;
    if (!inside || sound->samples.empty() || frame <= 0 || sound->samples.size() % static_cast<std::size_t>(frame) != 0)
        std::abort();
    return 0;
}
