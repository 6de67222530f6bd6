// Draws the program's icon and writes it as files: the 47 x 37 picture the window shows (24-bit
// PNG), the square sizes a Linux desktop asks for (PNG with transparency) and a Windows .ico that
// holds the picture and the sizes Windows uses. Run it again after changing the drawing below:
//
//     make_icon data/icons
//
// The picture is a NET-IO board seen from above: a green board with a dark edge, a row of blue
// terminal blocks and a dark screen with a green command prompt. It is described as shapes on the
// 47 x 37 grid and each pixel gets the share of its area that each shape covers (sampled on a fine
// grid), so the square sizes are drawn afresh rather than scaled from the small picture.
// No image library is used, so that the output is the same bytes on every machine.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <span>
#include <string>
#include <vector>

namespace {

constexpr int PictureWidth = 47;
constexpr int PictureHeight = 37;
constexpr std::array SquareSides{16, 24, 32, 48, 64, 128, 256};
constexpr std::array IcoSquareSides{16, 32, 48, 256};
constexpr int SamplesPerAxis = 8;   // per pixel, so edges get 64 steps of coverage

struct Colour {
    std::uint8_t red, green, blue;
};

constexpr Colour Background{240, 240, 240};   // the desktop's dialog grey, behind the picture
constexpr Colour BoardEdge{20, 70, 30};
constexpr Colour Board{40, 130, 60};
constexpr Colour TerminalBlock{0, 90, 200};
constexpr Colour Screen{20, 20, 20};
constexpr Colour Prompt{0, 230, 0};

// A filled rectangle [left, right) x [top, bottom), or a stroke of the given half width around
// the segment from (left, top) to (right, bottom) with round ends; in picture grid units.
struct Shape {
    bool stroke;
    double left, top, right, bottom;
    double halfWidth;
    Colour colour;
};

std::vector<Shape> PictureShapes()
{
    std::vector<Shape> shapes{
        {false, 1, 4, 46, 34, 0, BoardEdge},
        {false, 2, 5, 45, 33, 0, Board},
    };
    for (int block = 0; block < 6; ++block)
        shapes.push_back({false, 5.0 + block * 6, 6, 9.0 + block * 6, 11, 0, TerminalBlock});
    shapes.push_back({false, 5, 15, 41, 30, 0, Screen});
    shapes.push_back({true, 9, 18, 14, 22, 1, Prompt});    // ">"
    shapes.push_back({true, 14, 22, 9, 26, 1, Prompt});
    shapes.push_back({false, 16, 25, 27, 27, 0, Prompt});  // "_"
    return shapes;
}

bool Covers(const Shape& shape, double x, double y)
{
    if (!shape.stroke)
        return x >= shape.left && x < shape.right && y >= shape.top && y < shape.bottom;
    const double dx = shape.right - shape.left, dy = shape.bottom - shape.top;
    double along = ((x - shape.left) * dx + (y - shape.top) * dy) / (dx * dx + dy * dy);
    along = along < 0 ? 0 : along > 1 ? 1 : along;
    const double ox = x - (shape.left + along * dx), oy = y - (shape.top + along * dy);
    return ox * ox + oy * oy <= shape.halfWidth * shape.halfWidth;
}

// Pixels row by row, 4 bytes each: red, green, blue, alpha (not premultiplied).
struct Image {
    int width, height;
    std::vector<std::uint8_t> rgba;
};

// Draws the picture at `scale` pixels per grid unit, its grid origin at (offsetX, offsetY) pixels;
// without a background colour, what no shape covers stays transparent.
Image Draw(int width, int height, double scale, double offsetX, double offsetY, const Colour* background)
{
    const std::vector<Shape> shapes = PictureShapes();
    Image image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width * height * 4))};
    constexpr int samples = SamplesPerAxis * SamplesPerAxis;
    for (int py = 0; py < height; ++py) {
        for (int px = 0; px < width; ++px) {
            int covered = 0, red = 0, green = 0, blue = 0;
            for (int sy = 0; sy < SamplesPerAxis; ++sy) {
                for (int sx = 0; sx < SamplesPerAxis; ++sx) {
                    const double x = (px + (sx + 0.5) / SamplesPerAxis - offsetX) / scale;
                    const double y = (py + (sy + 0.5) / SamplesPerAxis - offsetY) / scale;
                    const Colour* top = background;
                    for (const Shape& shape : shapes)
                        if (Covers(shape, x, y))
                            top = &shape.colour;
                    if (top == nullptr)
                        continue;
                    ++covered;
                    red += top->red;
                    green += top->green;
                    blue += top->blue;
                }
            }
            std::uint8_t* pixel = &image.rgba[static_cast<std::size_t>((py * width + px) * 4)];
            if (covered > 0) {
                pixel[0] = static_cast<std::uint8_t>((red + covered / 2) / covered);
                pixel[1] = static_cast<std::uint8_t>((green + covered / 2) / covered);
                pixel[2] = static_cast<std::uint8_t>((blue + covered / 2) / covered);
            }
            pixel[3] = static_cast<std::uint8_t>((covered * 255 + samples / 2) / samples);
        }
    }
    return image;
}

Image DrawPicture()
{
    return Draw(PictureWidth, PictureHeight, 1.0, 0.0, 0.0, &Background);
}

// The picture's full width across the square, centred from top to bottom, on transparency.
Image DrawSquare(int side)
{
    const double scale = static_cast<double>(side) / PictureWidth;
    return Draw(side, side, scale, 0.0, (side - PictureHeight * scale) / 2.0, nullptr);
}

// --- bytes --------------------------------------------------------------------------------------

using Bytes = std::vector<std::uint8_t>;

void PutLE16(Bytes& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void PutLE32(Bytes& out, std::uint32_t value)
{
    PutLE16(out, value & 0xFFFF);
    PutLE16(out, value >> 16);
}

void PutBE32(Bytes& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
}

// --- deflate: greedy LZ77 matches over fixed Huffman codes (RFC 1951) -----------------------------

class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out) {}

    void Put(std::uint32_t bits, int count)   // least significant bit first
    {
        pending_ |= bits << filled_;
        filled_ += count;
        for (; filled_ >= 8; filled_ -= 8, pending_ >>= 8)
            out_.push_back(static_cast<std::uint8_t>(pending_ & 0xFF));
    }

    void PutCode(std::uint32_t code, int length)   // Huffman codes go most significant bit first
    {
        std::uint32_t reversed = 0;
        for (int i = 0; i < length; ++i)
            reversed |= ((code >> i) & 1U) << (length - 1 - i);
        Put(reversed, length);
    }

    void Flush()
    {
        if (filled_ > 0)
            out_.push_back(static_cast<std::uint8_t>(pending_ & 0xFF));
        pending_ = 0;
        filled_ = 0;
    }

private:
    Bytes& out_;
    std::uint32_t pending_ = 0;
    int filled_ = 0;
};

constexpr std::array<int, 29> LengthBase{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                         31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> LengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> DistanceBase{1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                           33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                           1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<int, 30> DistanceExtra{0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr int Window = 32768;
constexpr int MinMatch = 3;
constexpr int MaxMatch = 258;
constexpr int MaxChain = 256;
constexpr int HashSize = 1 << 15;

void PutSymbol(BitWriter& bits, int symbol)
{
    if (symbol < 144)
        bits.PutCode(0x30 + symbol, 8);
    else if (symbol < 256)
        bits.PutCode(0x190 + symbol - 144, 9);
    else if (symbol < 280)
        bits.PutCode(symbol - 256, 7);
    else
        bits.PutCode(0xC0 + symbol - 280, 8);
}

template <std::size_t N>
int CodeIndex(const std::array<int, N>& bases, int value)
{
    int index = static_cast<int>(N) - 1;
    while (bases[static_cast<std::size_t>(index)] > value)
        --index;
    return index;
}

void PutMatch(BitWriter& bits, int length, int distance)
{
    const int l = CodeIndex(LengthBase, length);
    PutSymbol(bits, 257 + l);
    bits.Put(static_cast<std::uint32_t>(length - LengthBase[static_cast<std::size_t>(l)]),
             LengthExtra[static_cast<std::size_t>(l)]);
    const int d = CodeIndex(DistanceBase, distance);
    bits.PutCode(static_cast<std::uint32_t>(d), 5);
    bits.Put(static_cast<std::uint32_t>(distance - DistanceBase[static_cast<std::size_t>(d)]),
             DistanceExtra[static_cast<std::size_t>(d)]);
}

Bytes Deflate(std::span<const std::uint8_t> data)
{
    Bytes out;
    BitWriter bits(out);
    bits.Put(1, 1);   // the last block
    bits.Put(1, 2);   // fixed codes
    const int size = static_cast<int>(data.size());
    std::vector<int> head(HashSize, -1), previous(Window, -1);
    const auto hashAt = [&](int at) {
        return ((data[static_cast<std::size_t>(at)] << 10) ^ (data[static_cast<std::size_t>(at) + 1] << 5)
                ^ data[static_cast<std::size_t>(at) + 2]) & (HashSize - 1);
    };
    const auto remember = [&](int at) {
        if (at + MinMatch > size)
            return;
        const int hash = hashAt(at);
        previous[static_cast<std::size_t>(at % Window)] = head[static_cast<std::size_t>(hash)];
        head[static_cast<std::size_t>(hash)] = at;
    };
    for (int at = 0; at < size;) {
        int bestLength = 0, bestDistance = 0;
        if (at + MinMatch <= size) {
            int candidate = head[static_cast<std::size_t>(hashAt(at))];
            for (int chain = 0; candidate >= 0 && at - candidate <= Window && chain < MaxChain; ++chain) {
                int length = 0;
                while (length < MaxMatch && at + length < size
                       && data[static_cast<std::size_t>(candidate + length)] == data[static_cast<std::size_t>(at + length)])
                    ++length;
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = at - candidate;
                }
                candidate = previous[static_cast<std::size_t>(candidate % Window)];
            }
        }
        if (bestLength >= MinMatch) {
            PutMatch(bits, bestLength, bestDistance);
            for (int i = 0; i < bestLength; ++i)
                remember(at + i);
            at += bestLength;
        } else {
            PutSymbol(bits, data[static_cast<std::size_t>(at)]);
            remember(at);
            ++at;
        }
    }
    PutSymbol(bits, 256);   // end of block
    bits.Flush();
    return out;
}

Bytes ZlibStream(std::span<const std::uint8_t> data)
{
    Bytes out{0x78, 0x01};   // deflate with a 32 KB window, no preset dictionary
    const Bytes deflated = Deflate(data);
    out.insert(out.end(), deflated.begin(), deflated.end());
    std::uint32_t a = 1, b = 0;
    for (const std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBE32(out, (b << 16) | a);
    return out;
}

// --- PNG ----------------------------------------------------------------------------------------

std::uint32_t Crc32(std::span<const std::uint8_t> data)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFU;
    for (const std::uint8_t byte : data)
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFU;
}

void PutChunk(Bytes& png, const char (&type)[5], std::span<const std::uint8_t> body)
{
    PutBE32(png, static_cast<std::uint32_t>(body.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    png.insert(png.end(), typed.begin(), typed.end());
    PutBE32(png, Crc32(typed));
}

int Paeth(int left, int up, int upLeft)
{
    const int p = left + up - upLeft;
    const int pa = p > left ? p - left : left - p;
    const int pb = p > up ? p - up : up - p;
    const int pc = p > upLeft ? p - upLeft : upLeft - p;
    return pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
}

// Each row takes the filter whose output bytes, read as signed, add up smallest: the usual rule,
// and it turns the large even areas into runs of zeros that deflate well.
Bytes FilterRows(const Bytes& raw, int rowBytes, int pixelBytes)
{
    Bytes out;
    const Bytes zeros(static_cast<std::size_t>(rowBytes), 0);
    for (std::size_t start = 0; start < raw.size(); start += static_cast<std::size_t>(rowBytes)) {
        const std::uint8_t* row = &raw[start];
        const std::uint8_t* above = start == 0 ? zeros.data() : &raw[start - static_cast<std::size_t>(rowBytes)];
        Bytes best;
        long bestCost = -1;
        for (int filter = 0; filter < 5; ++filter) {
            Bytes filtered{static_cast<std::uint8_t>(filter)};
            long cost = 0;
            for (int i = 0; i < rowBytes; ++i) {
                const int left = i >= pixelBytes ? row[i - pixelBytes] : 0;
                const int up = above[i];
                const int upLeft = i >= pixelBytes ? above[i - pixelBytes] : 0;
                const int predictor = filter == 0 ? 0
                                      : filter == 1 ? left
                                      : filter == 2 ? up
                                      : filter == 3 ? (left + up) / 2
                                                    : Paeth(left, up, upLeft);
                const auto value = static_cast<std::uint8_t>(row[i] - predictor);
                filtered.push_back(value);
                cost += value < 128 ? value : 256 - value;
            }
            if (bestCost < 0 || cost < bestCost) {
                bestCost = cost;
                best = std::move(filtered);
            }
        }
        out.insert(out.end(), best.begin(), best.end());
    }
    return out;
}

// 24-bit when `alpha` is false (the alpha channel is dropped), else 32-bit with transparency.
Bytes EncodePng(const Image& image, bool alpha)
{
    const int pixelBytes = alpha ? 4 : 3;
    Bytes raw;
    for (std::size_t i = 0; i < image.rgba.size(); i += 4)
        raw.insert(raw.end(), image.rgba.begin() + static_cast<std::ptrdiff_t>(i),
                   image.rgba.begin() + static_cast<std::ptrdiff_t>(i) + pixelBytes);

    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBE32(header, static_cast<std::uint32_t>(image.width));
    PutBE32(header, static_cast<std::uint32_t>(image.height));
    header.insert(header.end(), {8, static_cast<std::uint8_t>(alpha ? 6 : 2), 0, 0, 0});
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", ZlibStream(FilterRows(raw, image.width * pixelBytes, pixelBytes)));
    PutChunk(png, "IEND", {});
    return png;
}

// --- ICO ----------------------------------------------------------------------------------------

// A bottom-up device-independent bitmap of twice the height, as icon files hold it: the colours,
// then a 1-bit mask (set where the pixel is fully transparent) for programs that ignore alpha.
Bytes EncodeIconBitmap(const Image& image, bool alpha)
{
    const int bitCount = alpha ? 32 : 24;
    const int colourRow = (image.width * bitCount / 8 + 3) / 4 * 4;
    const int maskRow = (image.width + 31) / 32 * 4;
    Bytes out;
    PutLE32(out, 40);
    PutLE32(out, static_cast<std::uint32_t>(image.width));
    PutLE32(out, static_cast<std::uint32_t>(image.height * 2));
    PutLE16(out, 1);   // planes
    PutLE16(out, static_cast<unsigned>(bitCount));
    PutLE32(out, 0);   // no compression
    PutLE32(out, static_cast<std::uint32_t>((colourRow + maskRow) * image.height));
    for (int i = 0; i < 4; ++i)
        PutLE32(out, 0);   // resolution, palette
    for (int y = image.height - 1; y >= 0; --y) {
        const std::size_t rowStart = out.size();
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* pixel = &image.rgba[static_cast<std::size_t>((y * image.width + x) * 4)];
            out.insert(out.end(), {pixel[2], pixel[1], pixel[0]});
            if (alpha)
                out.push_back(pixel[3]);
        }
        out.resize(rowStart + static_cast<std::size_t>(colourRow), 0);
    }
    for (int y = image.height - 1; y >= 0; --y) {
        Bytes row(static_cast<std::size_t>(maskRow), 0);
        for (int x = 0; x < image.width; ++x)
            if (alpha && image.rgba[static_cast<std::size_t>((y * image.width + x) * 4 + 3)] == 0)
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

struct IconEntry {
    int width, height, bitCount;
    Bytes data;
};

// The 256-pixel size goes in as PNG, as Windows has read it since Vista; the rest as bitmaps.
Bytes EncodeIco(const std::vector<IconEntry>& entries)
{
    Bytes out;
    PutLE16(out, 0);
    PutLE16(out, 1);   // icon
    PutLE16(out, static_cast<unsigned>(entries.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (const IconEntry& entry : entries) {
        out.push_back(static_cast<std::uint8_t>(entry.width >= 256 ? 0 : entry.width));
        out.push_back(static_cast<std::uint8_t>(entry.height >= 256 ? 0 : entry.height));
        out.push_back(0);   // no palette
        out.push_back(0);
        PutLE16(out, 1);
        PutLE16(out, static_cast<unsigned>(entry.bitCount));
        PutLE32(out, static_cast<std::uint32_t>(entry.data.size()));
        PutLE32(out, offset);
        offset += static_cast<std::uint32_t>(entry.data.size());
    }
    for (const IconEntry& entry : entries)
        out.insert(out.end(), entry.data.begin(), entry.data.end());
    return out;
}

bool WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool written = true;

    const Image picture = DrawPicture();
    written &= WriteFile(folder + "/skarvel-47x37.png", EncodePng(picture, false));
    std::vector<IconEntry> ico{{PictureWidth, PictureHeight, 24, EncodeIconBitmap(picture, false)}};
    for (const int side : SquareSides) {
        const Image square = DrawSquare(side);
        const Bytes png = EncodePng(square, true);
        written &= WriteFile(folder + "/skarvel-" + std::to_string(side) + ".png", png);
        for (const int icoSide : IcoSquareSides)
            if (icoSide == side)
                ico.push_back({side, side, 32, side == 256 ? png : EncodeIconBitmap(square, true)});
    }
    written &= WriteFile(folder + "/skarvel.ico", EncodeIco(ico));
    if (!written) {
        std::fprintf(stderr, "make_icon: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
