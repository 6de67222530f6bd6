// The RIFF WAVE walk: "RIFF" at 0, the "WAVE" form, the "fmt " chunk at 12, then chunk after
// chunk (8 header bytes plus the chunk's size) until the "data" chunk, whose body is the sound.
#include "sound/riff.h"

#include <cstddef>
#include <string_view>

namespace {

constexpr std::size_t ChunkHeaderSize = 8;
constexpr std::size_t FormatChunkOffset = 12;
constexpr std::size_t PcmFormatSize = 16;
constexpr unsigned PcmFormatTag = 1;
constexpr unsigned MaxChannels = 8;
constexpr unsigned MaxSamplesPerSecond = 384000;

unsigned Read16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return unsigned{bytes[at]} | unsigned{bytes[at + 1]} << 8;
}

std::uint32_t Read32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return std::uint32_t{Read16(bytes, at)} | std::uint32_t{Read16(bytes, at + 2)} << 16;
}

bool HasId(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view id)
{
    for (std::size_t i = 0; i < id.size(); ++i)
        if (bytes[at + i] != static_cast<std::uint8_t>(id[i])) return false;
    return true;
}

struct Chunk {
    std::size_t bodyStart;
    std::size_t bodySize;
};

// The chunk whose header starts at `at`, if its header and body both lie inside the image.
std::optional<Chunk> ChunkAt(std::span<const std::uint8_t> image, std::size_t at)
{
    if (at > image.size() || image.size() - at < ChunkHeaderSize) return std::nullopt;
    const std::size_t bodyStart = at + ChunkHeaderSize;
    const std::size_t bodySize = Read32(image, at + 4);
    if (bodySize > image.size() - bodyStart) return std::nullopt;
    return Chunk{bodyStart, bodySize};
}

// Plain PCM of a shape an audio device can take; anything else is treated as no sound.
std::optional<PcmFormat> ReadFormat(std::span<const std::uint8_t> body)
{
    if (body.size() < PcmFormatSize) return std::nullopt;
    const unsigned tag = Read16(body, 0);
    const unsigned channels = Read16(body, 2);
    const std::uint32_t samplesPerSecond = Read32(body, 4);
    const unsigned blockAlign = Read16(body, 12);
    const unsigned bitsPerSample = Read16(body, 14);
    if (tag != PcmFormatTag || channels == 0 || channels > MaxChannels) return std::nullopt;
    if (samplesPerSecond == 0 || samplesPerSecond > MaxSamplesPerSecond) return std::nullopt;
    if (bitsPerSample != 8 && bitsPerSample != 16 && bitsPerSample != 32) return std::nullopt;
    if (blockAlign != channels * bitsPerSample / 8) return std::nullopt;
    return PcmFormat{static_cast<int>(channels), static_cast<int>(samplesPerSecond),
                     static_cast<int>(bitsPerSample)};
}

}  // namespace

std::optional<WaveSound> ReadWaveImage(std::span<const std::uint8_t> image)
{
    if (image.size() < FormatChunkOffset || !HasId(image, 0, "RIFF") || !HasId(image, 8, "WAVE"))
        return std::nullopt;

    const std::optional<Chunk> formatChunk = ChunkAt(image, FormatChunkOffset);
    if (!formatChunk || !HasId(image, FormatChunkOffset, "fmt ")) return std::nullopt;
    const std::optional<PcmFormat> format =
        ReadFormat(image.subspan(formatChunk->bodyStart, formatChunk->bodySize));
    if (!format) return std::nullopt;

    // No pad byte after odd-sized chunks: the walk goes by the sizes alone. Every step moves
    // forward by at least a header, and ChunkAt keeps each chunk inside the image, so the
    // loop ends.
    std::size_t at = formatChunk->bodyStart + formatChunk->bodySize;
    while (const std::optional<Chunk> chunk = ChunkAt(image, at)) {
        if (HasId(image, at, "data")) {
            const std::size_t frameSize =
                static_cast<std::size_t>(format->channels) * static_cast<std::size_t>(format->bitsPerSample / 8);
            const std::size_t wholeFrames = chunk->bodySize / frameSize * frameSize;
            if (wholeFrames == 0) return std::nullopt;
            return WaveSound{*format, image.subspan(chunk->bodyStart, wholeFrames)};
        }
        at = chunk->bodyStart + chunk->bodySize;
    }
    return std::nullopt;
}
