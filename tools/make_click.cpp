// Makes the program's click sound and writes it as C++ data (src/sound/click_sound_data.cpp),
// optionally also as a .wav file to listen to. Run it again after changing any figure below.
//
// How the click is made (all deterministic, so the output is the same on every run):
//  - one stream of white noise from a fixed-seed xorshift32 generator;
//  - the noise split into a bright part (2nd-order high-pass at 2.6 kHz) and a dull part
//    (1st-order low-pass at 900 Hz); the click is the bright part plus as much of the dull
//    part, for body, as makes exactly three quarters of its energy lie above 3 kHz (found by
//    bisection, since a burst this short holds too few samples to predict the mix);
//  - the main burst: a 0.25 ms rise, a fast decay (0.7 ms) into a slower tail (6.5 ms) that is
//    faded out to nothing at 20.9 ms, its loudest sample set to 2,450 (-22.5 dBFS);
//  - the second burst: a faint rise from 24.5 ms, a sharp hit at 29.0 ms and a decay towards
//    a third of the hit, cut off where the sound ends (30.8 ms); its loudest sample, the loudest
//    of the click, set to 3,050 (-20.6 dBFS, 9.3 % of full scale);
//  - a noise floor of about one step throughout, so the quiet stretch is near silence, not
//    digital zero.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <span>
#include <string>
#include <vector>

namespace {

constexpr int SampleRate = 22050;
constexpr std::size_t SampleCount = 680;
constexpr std::uint32_t NoiseSeed = 0x6B1A7C3DU;

constexpr double BrightCutoffHz = 2600.0;
constexpr double DullCutoffHz = 900.0;
constexpr double HighEnergyShare = 0.75;   // of the energy, above 3 kHz

constexpr double MainPeak = 2450.0;
constexpr double SecondPeak = 3050.0;
constexpr double FloorSteps = 1.2;

constexpr double MainRiseMs = 0.25;
constexpr double MainFastDecayMs = 0.7;
constexpr double MainTailDecayMs = 6.5;
constexpr double MainTailLevel = 0.2;
constexpr double MainFadeStartMs = 20.4;
constexpr double MainEndMs = 20.9;

constexpr double SecondStartMs = 24.5;
constexpr double SecondHitMs = 29.0;
constexpr double SecondHitRiseMs = 0.35;
constexpr double SecondDecayMs = 0.6;
constexpr double SecondHoldLevel = 0.33;

struct Xorshift32 {
    std::uint32_t state;
    double next()   // uniform in [-1, 1)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }
};

double timeMs(std::size_t index) { return 1000.0 * static_cast<double>(index) / SampleRate; }

// Raised cosine from 0 at `from` to 1 at `to`.
double rise(double t, double from, double to)
{
    if (t <= from) return 0.0;
    if (t >= to) return 1.0;
    return 0.5 - 0.5 * std::cos(std::numbers::pi * (t - from) / (to - from));
}

double mainEnvelope(double t)
{
    if (t >= MainEndMs) return 0.0;
    const double after = std::max(0.0, t - MainRiseMs);
    const double decay = (1.0 - MainTailLevel) * std::exp(-after / MainFastDecayMs) +
                         MainTailLevel * std::exp(-after / MainTailDecayMs);
    return rise(t, 0.0, MainRiseMs) * decay * (1.0 - rise(t, MainFadeStartMs, MainEndMs));
}

double secondEnvelope(double t)
{
    if (t < SecondStartMs) return 0.0;
    const double hitStart = SecondHitMs - SecondHitRiseMs;
    if (t < hitStart) return 0.08 * (t - SecondStartMs) / (hitStart - SecondStartMs);   // faint approach
    if (t < SecondHitMs) return 0.08 + 0.92 * rise(t, hitStart, SecondHitMs);
    return SecondHoldLevel + (1.0 - SecondHoldLevel) * std::exp(-(t - SecondHitMs) / SecondDecayMs);
}

// RBJ cookbook 2nd-order high-pass, Q = 1/sqrt(2), direct form I.
std::vector<double> highPass(std::span<const double> in, double cutoffHz)
{
    const double w = 2.0 * std::numbers::pi * cutoffHz / SampleRate;
    const double alpha = std::sin(w) / std::numbers::sqrt2;
    const double a0 = 1.0 + alpha;
    const double b0 = (1.0 + std::cos(w)) / 2.0 / a0, b1 = -(1.0 + std::cos(w)) / a0, b2 = b0;
    const double a1 = -2.0 * std::cos(w) / a0, a2 = (1.0 - alpha) / a0;
    std::vector<double> out(in.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const double y = b0 * in[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1; x1 = in[i]; y2 = y1; y1 = y;
        out[i] = y;
    }
    return out;
}

std::vector<double> lowPass(std::span<const double> in, double cutoffHz)
{
    const double k = 1.0 - std::exp(-2.0 * std::numbers::pi * cutoffHz / SampleRate);
    std::vector<double> out(in.size());
    double y = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        y += k * (in[i] - y);
        out[i] = y;
    }
    return out;
}

// Scales the part so that its loudest sample has the wanted size.
void scaleTo(std::vector<double>& part, double peak)
{
    double largest = 0;
    for (double v : part) largest = std::max(largest, std::abs(v));
    for (double& v : part) v *= peak / largest;
}

// Share of the energy above 3 kHz, from a plain DFT (the sound is short enough).
double highEnergyShare(std::span<const double> samples)
{
    const std::size_t n = samples.size();
    std::vector<double> cosines(n), sines(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double a = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n);
        cosines[i] = std::cos(a);
        sines[i] = std::sin(a);
    }
    double total = 0, high = 0;
    for (std::size_t k = 1; k <= n / 2; ++k) {
        double re = 0, im = 0;
        for (std::size_t i = 0; i < n; ++i) {
            re += samples[i] * cosines[k * i % n];
            im -= samples[i] * sines[k * i % n];
        }
        total += re * re + im * im;
        if (static_cast<double>(k) * SampleRate / static_cast<double>(n) > 3000.0) high += re * re + im * im;
    }
    return high / total;
}

struct Parts {
    std::vector<double> bright, dull, floor;
};

Parts makeParts()
{
    Xorshift32 noise{NoiseSeed};
    std::vector<double> white(SampleCount);
    for (double& v : white) v = noise.next();
    std::vector<double> floor(SampleCount);
    for (double& v : floor) v = FloorSteps * noise.next();
    return {highPass(white, BrightCutoffHz), lowPass(white, DullCutoffHz), floor};
}

std::vector<double> mix(const Parts& parts, double dullShare)
{
    std::vector<double> first(SampleCount), second(SampleCount);
    for (std::size_t i = 0; i < SampleCount; ++i) {
        const double carrier = parts.bright[i] + dullShare * parts.dull[i];
        first[i] = carrier * mainEnvelope(timeMs(i));
        second[i] = carrier * secondEnvelope(timeMs(i));
    }
    scaleTo(first, MainPeak);
    scaleTo(second, SecondPeak);
    std::vector<double> click(SampleCount);
    for (std::size_t i = 0; i < SampleCount; ++i) click[i] = first[i] + second[i] + parts.floor[i];
    return click;
}

std::vector<std::int16_t> makeSamples()
{
    const Parts parts = makeParts();
    // More of the dull part lowers the share above 3 kHz; 40 halvings pin it down.
    double less = 0.0, more = 20.0;
    for (int step = 0; step < 40; ++step) {
        const double middle = (less + more) / 2.0;
        (highEnergyShare(mix(parts, middle)) > HighEnergyShare ? less : more) = middle;
    }
    const std::vector<double> click = mix(parts, (less + more) / 2.0);
    std::vector<std::int16_t> samples(SampleCount);
    for (std::size_t i = 0; i < SampleCount; ++i) samples[i] = static_cast<std::int16_t>(std::lround(click[i]));
    return samples;
}

void put16(std::vector<std::uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void putId(std::vector<std::uint8_t>& out, const char (&id)[5])
{
    out.insert(out.end(), id, id + 4);
}

std::vector<std::uint8_t> makeImage(std::span<const std::int16_t> samples)
{
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::vector<std::uint8_t> image;
    putId(image, "RIFF");
    put32(image, 4 + (8 + 16) + (8 + dataBytes));
    putId(image, "WAVE");
    putId(image, "fmt ");
    put32(image, 16);
    put16(image, 1);                  // PCM
    put16(image, 1);                  // mono
    put32(image, SampleRate);
    put32(image, SampleRate * 2);     // bytes per second
    put16(image, 2);                  // block align
    put16(image, 16);                 // bits per sample
    putId(image, "data");
    put32(image, dataBytes);
    for (std::int16_t s : samples) put16(image, static_cast<std::uint16_t>(s));
    return image;
}

// What the tests check, printed so a change of the figures above can be judged at once.
void report(std::span<const std::int16_t> samples)
{
    std::size_t peakAt = 0;
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (std::abs(samples[i]) > std::abs(samples[peakAt])) peakAt = i;
    const double peak = std::abs(samples[peakAt]) / 32768.0;
    int quiet = 0;
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (timeMs(i) >= 20.9 && timeMs(i) <= 24.5) quiet = std::max(quiet, std::abs(int{samples[i]}));

    const std::vector<double> asDouble(samples.begin(), samples.end());
    std::printf("peak %.2f dBFS (%.2f %% of full scale) at %.2f ms\n", 20.0 * std::log10(peak),
                100.0 * peak, timeMs(peakAt));
    std::printf("quiet 20.9-24.5 ms: largest sample %d (%.1f dBFS)\n", quiet,
                20.0 * std::log10(std::max(quiet, 1) / 32768.0));
    std::printf("energy above 3 kHz: %.1f %%\n", 100.0 * highEnergyShare(asDouble));
}

bool writeSource(const std::string& path, std::span<const std::uint8_t> image)
{
    std::ofstream out(path, std::ios::binary);
    out << "// The click sound as a RIFF WAVE image (22,050 samples/s, 16-bit mono, 30.8 ms).\n"
           "// Written by tools/make_click.cpp, which tells how the sound is made: change that and\n"
           "// run it again instead of editing the numbers here.\n"
           "#include \"sound/click_sound.h\"\n"
           "\n"
           "const std::array<std::uint8_t, ClickSoundSize> ClickSound = {\n";
    char cell[8];
    for (std::size_t i = 0; i < image.size(); ++i) {
        if (i % 12 == 0) out << "   ";
        std::snprintf(cell, sizeof cell, " 0x%02X,", image[i]);
        out << cell;
        if (i % 12 == 11 || i + 1 == image.size()) out << '\n';
    }
    out << "};\n";
    return static_cast<bool>(out);
}

bool writeWave(const std::string& path, std::span<const std::uint8_t> image)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_click OUTPUT.cpp [OUTPUT.wav]\n");
        return 2;
    }
    const std::vector<std::int16_t> samples = makeSamples();
    const std::vector<std::uint8_t> image = makeImage(samples);
    if (!writeSource(argv[1], image) || (argc == 3 && !writeWave(argv[2], image))) {
        std::fprintf(stderr, "make_click: cannot write the output\n");
        return 1;
    }
    report(samples);
    return 0;
}
