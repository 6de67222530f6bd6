// Checks the built-in click: its RIFF header, and its sound as measured from the samples
// (levels, timing, spectrum); then the RIFF walk on the click and on broken images.
#include "sound/click_sound.h"
#include "sound/riff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string_view>
#include <vector>

namespace {

constexpr double SampleRate = 22050.0;
constexpr std::size_t HeaderSize = 44;
constexpr std::size_t ClickSamples = 680;

// The samples as the RIFF walk finds them (its own tests are below).
std::vector<double> samples()
{
    const std::optional<WaveSound> sound = ReadWaveImage(ClickSound);
    std::vector<double> out;
    for (std::size_t at = 0; sound && at + 1 < sound->samples.size(); at += 2)
        out.push_back(static_cast<std::int16_t>(sound->samples[at] | sound->samples[at + 1] << 8));
    return out;
}

std::size_t indexAt(double ms) { return static_cast<std::size_t>(std::ceil(ms * SampleRate / 1000.0)); }
double msAt(std::size_t index) { return 1000.0 * static_cast<double>(index) / SampleRate; }
double dbfs(double level) { return 20.0 * std::log10(level / 32768.0); }

double peakIn(const std::vector<double>& s, std::size_t from, std::size_t to)
{
    double peak = 0;
    for (std::size_t i = from; i < to; ++i) peak = std::max(peak, std::abs(s[i]));
    return peak;
}

double energyIn(const std::vector<double>& s, std::size_t from, std::size_t to)
{
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += s[i] * s[i];
    return sum;
}

double rmsIn(const std::vector<double>& s, std::size_t from, std::size_t to)
{
    return std::sqrt(energyIn(s, from, to) / static_cast<double>(to - from));
}

// Anything at or below this many steps counts as silence (a 1-step noise floor is allowed).
constexpr double SilenceSteps = 4;

// ---- The header -------------------------------------------------------------------------

TEST(ClickImage, HeaderDescribesPcmMono22050)
{
    // RIFF of 1,396 bytes, WAVE; "fmt " of 16: PCM, mono, 22,050/s, 44,100 bytes/s, align 2,
    // 16 bits; "data" of 1,360 bytes: 680 samples, 30.8 ms.
    constexpr std::uint8_t header[HeaderSize] = {
        'R', 'I', 'F', 'F', 0x74, 0x05, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
        0x22, 0x56, 0, 0, 0x44, 0xAC, 0, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 0x50, 0x05, 0, 0};
    ASSERT_EQ(ClickSound.size(), 1404U);
    EXPECT_TRUE(std::equal(std::begin(header), std::end(header), ClickSound.begin()));
    EXPECT_EQ(samples().size(), ClickSamples);
    EXPECT_NEAR(msAt(ClickSamples), 30.8, 0.05);
}

// ---- The sound, measured ----------------------------------------------------------------

TEST(ClickSoundShape, LoudestSampleIsInTheSecondBurstAtMinus20Point6Dbfs)
{
    const std::vector<double> s = samples();
    const auto loudest = std::max_element(s.begin(), s.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
    const double level = std::abs(*loudest);
    EXPECT_NEAR(dbfs(level), -20.6, 1.0);
    EXPECT_NEAR(level / 32768.0, 0.093, 0.011);
    EXPECT_NEAR(msAt(static_cast<std::size_t>(loudest - s.begin())), 29.0, 0.5);
}

TEST(ClickSoundShape, MainBurstComesInTheFirst3MsAndDecaysUntilAbout21Ms)
{
    const std::vector<double> s = samples();
    const double peak = peakIn(s, 0, s.size());
    // It starts at once and loud...
    EXPECT_GT(peakIn(s, 0, indexAt(0.5)), peak / 2);
    // ...most of the main burst's energy is in its first 3 ms...
    EXPECT_GT(energyIn(s, 0, indexAt(3)), 0.75 * energyIn(s, 0, indexAt(20.9)));
    // ...then it keeps dying away: every 2 ms quieter than the 2 ms before.
    for (double ms = 3; ms + 4 <= 21; ms += 2)
        EXPECT_LT(rmsIn(s, indexAt(ms + 2), indexAt(ms + 4)), rmsIn(s, indexAt(ms), indexAt(ms + 2))) << ms << " ms";
    // It is still there shortly before it ends.
    EXPECT_GT(peakIn(s, indexAt(19.5), indexAt(20.5)), 2 * SilenceSteps);
}

TEST(ClickSoundShape, NearSilenceFrom20Point9To24Point5Ms)
{
    const std::vector<double> s = samples();
    EXPECT_LE(peakIn(s, indexAt(20.9), indexAt(24.5)), SilenceSteps);
    EXPECT_LT(dbfs(rmsIn(s, indexAt(20.9), indexAt(24.5))), -75.0);

    // Where the quiet stretch begins and ends, measured around its middle.
    const std::size_t middle = indexAt(22.7);
    std::size_t begins = middle, ends = middle;
    while (begins > 0 && std::abs(s[begins - 1]) <= SilenceSteps) --begins;
    while (ends < s.size() && std::abs(s[ends]) <= SilenceSteps) ++ends;
    EXPECT_NEAR(msAt(begins), 20.9, 0.5);
    EXPECT_NEAR(msAt(ends), 24.5, 0.5);
}

TEST(ClickSoundShape, SecondBurstIsShortAndEndsAbruptly)
{
    const std::vector<double> s = samples();
    const std::size_t window = indexAt(0.5);
    double loudest = 0;
    for (std::size_t i = 0; i + window <= s.size(); ++i)
        loudest = std::max(loudest, rmsIn(s, i, i + window));
    // The loudest half millisecond (the second burst's, whose place the loudest sample pins)
    // builds up only from about 28 ms: a millisecond before that it is far quieter...
    EXPECT_LT(rmsIn(s, indexAt(26.5), indexAt(27.5)), loudest / 10);
    // ...and the sound stops while still loud: no fade-out in its last half millisecond.
    EXPECT_GT(rmsIn(s, s.size() - window, s.size()), loudest / 4);
}

TEST(ClickSoundShape, ThreeQuartersOfTheEnergyAbove3Khz)
{
    const std::vector<double> s = samples();
    const std::size_t n = s.size();
    double total = 0, high = 0;
    for (std::size_t k = 1; k <= n / 2; ++k) {
        double re = 0, im = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double angle = 2.0 * std::numbers::pi * static_cast<double>(k * i % n) / static_cast<double>(n);
            re += s[i] * std::cos(angle);
            im -= s[i] * std::sin(angle);
        }
        total += re * re + im * im;
        if (static_cast<double>(k) * SampleRate / static_cast<double>(n) > 3000.0) high += re * re + im * im;
    }
    EXPECT_NEAR(high / total, 0.75, 0.05);
}

// ---- The RIFF walk ----------------------------------------------------------------------

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

void append(Bytes& b, std::string_view id, const Bytes& body, std::uint32_t size)
{
    b.insert(b.end(), id.begin(), id.end());
    b.resize(b.size() + 4);
    put32(b, b.size() - 4, size);
    b.insert(b.end(), body.begin(), body.end());
}

Bytes click() { return {ClickSound.begin(), ClickSound.end()}; }

// The click's header up to the end of "fmt ", then whatever chunks a case adds.
Bytes formatOnly() { return {ClickSound.begin(), ClickSound.begin() + 36}; }
Bytes clickSamplesBytes() { return {ClickSound.begin() + HeaderSize, ClickSound.end()}; }

TEST(RiffWalk, FindsFormatAndSamplesOfTheClick)
{
    const std::optional<WaveSound> sound = ReadWaveImage(ClickSound);
    ASSERT_TRUE(sound.has_value());
    EXPECT_EQ(sound->format.channels, 1);
    EXPECT_EQ(sound->format.samplesPerSecond, 22050);
    EXPECT_EQ(sound->format.bitsPerSample, 16);
    EXPECT_EQ(sound->samples.data(), ClickSound.data() + HeaderSize);
    EXPECT_EQ(sound->samples.size(), 1360U);
}

TEST(RiffWalk, TruncatedImageAtEveryLengthIsNoSound)
{
    for (std::size_t length = 0; length < ClickSound.size(); ++length) {
        const Bytes cut(ClickSound.begin(), ClickSound.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(ReadWaveImage(cut).has_value()) << "cut to " << length << " bytes";
    }
}

TEST(RiffWalk, WrongIdsAreNoSound)
{
    for (std::size_t at : {0U, 1U, 3U, 8U, 11U, 12U, 15U}) {
        Bytes image = click();
        image[at] ^= 0x20;
        EXPECT_FALSE(ReadWaveImage(image).has_value()) << "byte " << at;
    }
    Bytes noData = click();
    noData[36] = 'D';
    EXPECT_FALSE(ReadWaveImage(noData).has_value());
}

TEST(RiffWalk, HugeAndOverflowingSizesAreNoSound)
{
    for (std::uint32_t size : {0xFFFFFFFFU, 0xFFFFFFF8U, 0xFFFFFFF0U, 0x80000000U}) {
        Bytes format = click();
        put32(format, 16, size);
        EXPECT_FALSE(ReadWaveImage(format).has_value()) << "fmt size " << size;
        Bytes data = click();
        put32(data, 40, size);
        EXPECT_FALSE(ReadWaveImage(data).has_value()) << "data size " << size;
        Bytes extra = formatOnly();
        append(extra, "LIST", {}, size);
        append(extra, "data", clickSamplesBytes(), 1360);
        EXPECT_FALSE(ReadWaveImage(extra).has_value()) << "LIST size " << size;
    }
    // One byte more than the image holds.
    Bytes format = click();
    put32(format, 16, 1404 - 20 + 1);
    EXPECT_FALSE(ReadWaveImage(format).has_value());
    Bytes data = click();
    put32(data, 40, 1361);
    EXPECT_FALSE(ReadWaveImage(data).has_value());
}

TEST(RiffWalk, SkipsOtherChunksBeforeData)
{
    Bytes image = formatOnly();
    append(image, "LIST", Bytes(26, 'x'), 26);
    append(image, "fact", Bytes(4, 0), 4);
    append(image, "data", clickSamplesBytes(), 1360);
    const std::optional<WaveSound> sound = ReadWaveImage(image);
    ASSERT_TRUE(sound.has_value());
    EXPECT_EQ(sound->samples.data(), image.data() + 36 + 34 + 12 + 8);
    EXPECT_TRUE(std::equal(sound->samples.begin(), sound->samples.end(), ClickSound.begin() + HeaderSize));
}

TEST(RiffWalk, OddSizedChunkIsFollowedWithoutPadByte)
{
    Bytes image = formatOnly();
    append(image, "junk", Bytes(3, 'x'), 3);
    append(image, "data", clickSamplesBytes(), 1360);
    const std::optional<WaveSound> sound = ReadWaveImage(image);
    ASSERT_TRUE(sound.has_value());
    EXPECT_EQ(sound->samples.size(), 1360U);
}

TEST(RiffWalk, DataOfPartFramesKeepsWholeFramesOnly)
{
    Bytes image = formatOnly();
    append(image, "data", {1, 2, 3}, 3);
    const std::optional<WaveSound> sound = ReadWaveImage(image);
    ASSERT_TRUE(sound.has_value());
    EXPECT_EQ(sound->samples.size(), 2U);

    Bytes empty = formatOnly();
    append(empty, "data", {7}, 1);
    EXPECT_FALSE(ReadWaveImage(empty).has_value());
}

TEST(RiffWalk, FormatsOtherThanPlainPcmAreNoSound)
{
    auto withFormat = [](std::size_t at, std::uint8_t value) {
        Bytes image = click();
        image[at] = value;
        return ReadWaveImage(image).has_value();
    };
    EXPECT_FALSE(withFormat(20, 3));    // IEEE float
    EXPECT_FALSE(withFormat(22, 0));    // no channels
    EXPECT_FALSE(withFormat(34, 12));   // 12 bits
    EXPECT_FALSE(withFormat(32, 4));    // block align not channels x bytes
    Bytes noRate = click();
    put32(noRate, 24, 0);
    EXPECT_FALSE(ReadWaveImage(noRate).has_value());

    Bytes shortFormat = {ClickSound.begin(), ClickSound.begin() + 12};
    append(shortFormat, "fmt ", Bytes(ClickSound.begin() + 20, ClickSound.begin() + 34), 14);
    append(shortFormat, "data", clickSamplesBytes(), 1360);
    EXPECT_FALSE(ReadWaveImage(shortFormat).has_value());

    // A longer format chunk (with the extension size) is still plain PCM.
    Bytes longFormat = {ClickSound.begin(), ClickSound.begin() + 12};
    Bytes body(ClickSound.begin() + 20, ClickSound.begin() + 36);
    body.insert(body.end(), {0, 0});
    append(longFormat, "fmt ", body, 18);
    append(longFormat, "data", clickSamplesBytes(), 1360);
    EXPECT_TRUE(ReadWaveImage(longFormat).has_value());
}

}  // namespace
