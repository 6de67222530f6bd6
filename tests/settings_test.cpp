// The settings file: integer parsing, line reading, the file on disk and its code page.
#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <filesystem>
#include <future>
#include <optional>

#include "board/codepage.h"
#include "board/settings.h"
#include "temp_folder.h"

using namespace std::chrono_literals;

namespace {

struct IntegerCase {
    const char* text;
    std::int32_t value;
};

class ParseIntegerTest : public testing::TestWithParam<IntegerCase> {};

TEST_P(ParseIntegerTest, GivesTheValue)
{
    EXPECT_EQ(ParseInteger(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Forms, ParseIntegerTest, testing::Values(
    IntegerCase{"64400", 64400},
    IntegerCase{" 64400", 64400},
    IntegerCase{"\t \t64400", 64400},
    IntegerCase{"64400abc", 64400},
    IntegerCase{"$FB90", 64400},
    IntegerCase{"$fb90", 64400},
    IntegerCase{"%1111101110010000", 64400},
    IntegerCase{"+180", 180},
    IntegerCase{"-180", -180},
    IntegerCase{"-$10", -16},
    IntegerCase{" +%101", 5},
    IntegerCase{"", 0},
    IntegerCase{"abc", 0},
    IntegerCase{"$", 0},
    IntegerCase{"$G1", 0},
    IntegerCase{"%2", 0},
    IntegerCase{"-", 0},
    IntegerCase{"12 34", 12},
    IntegerCase{"1$2", 1},
    IntegerCase{"+-5", 0},
    IntegerCase{"\n5", 0},
    IntegerCase{"2147483647", 2147483647},
    IntegerCase{"2147483648", INT32_MIN},
    IntegerCase{"4294967296", 0},
    IntegerCase{"4294967297", 1},
    IntegerCase{"$1FFFFFFFF", -1},
    IntegerCase{"-2147483648", INT32_MIN},
    IntegerCase{"0099", 99}));

std::vector<std::string> AllLines(std::string_view bytes, int count)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (int i = 0; i < count; ++i)
        lines.emplace_back(ReadLine(bytes, pos));
    return lines;
}

TEST(ReadLine, EveryEndingReadsTheSame)
{
    const std::vector<std::string> expected = {"a", "bb", "", "c"};
    for (const std::string_view bytes : {std::string_view("a\r\nbb\r\n\r\nc"), std::string_view("a\nbb\n\nc"),
                                         std::string_view("a\rbb\r\rc"), std::string_view("a\0bb\0\0c", 7),
                                         std::string_view("a\rbb\n\r\nc\r\n")})
        EXPECT_EQ(AllLines(bytes, 4), expected) << testing::PrintToString(std::string(bytes));
}

TEST(ReadLine, ALineFeedBeforeACarriageReturnEndsTwoLines)
{
    EXPECT_EQ(AllLines("a\n\rb", 3), (std::vector<std::string>{"a", "", "b"}));
    // Only a 10 right after a 13 belongs to it.
    EXPECT_EQ(AllLines("a\r\r\nb", 3), (std::vector<std::string>{"a", "", "b"}));
}

TEST(ReadLine, MissingLinesAreEmptyAndLongLinesWhole)
{
    const std::string longLine(100000, 'x');
    EXPECT_EQ(AllLines(longLine, 3), (std::vector<std::string>{longLine, "", ""}));
    EXPECT_EQ(AllLines("", 2), (std::vector<std::string>{"", ""}));
}

TEST(SettingsFromFile, ReadsTheThreeLines)
{
    const ConnectionSettings s = SettingsFromFile("board.local\r\n $FB90 \r\n8080\r\nextra\r\n");
    EXPECT_EQ(s.Host, "board.local");
    EXPECT_EQ(s.TelnetPortText, " $FB90 ");
    EXPECT_EQ(s.TelnetPort, 64400);
    EXPECT_EQ(s.HttpPortText, "8080");
}

TEST(SettingsFromFile, AOneLineFileLeavesThePortsEmpty)
{
    const ConnectionSettings s = SettingsFromFile("10.1.2.3");
    EXPECT_EQ(s.Host, "10.1.2.3");
    EXPECT_EQ(s.TelnetPortText, "");
    EXPECT_EQ(s.TelnetPort, 0);
    EXPECT_EQ(s.HttpPortText, "");
}

class SettingsFileTest : public testing::Test {
protected:
    std::string Bytes() const { return FileBytes(Path()); }
    std::filesystem::path Path() const { return folder_ / SettingsFileName; }

    TempFolder folder_{"settings"};
};

TEST_F(SettingsFileTest, ThePresetsMakeA26ByteFile)
{
    ASSERT_TRUE(WriteSettingsFile(Path(), {"192.168.0.90", "64400", ParseInteger("64400"), "180"}));
    const std::string bytes = Bytes();
    EXPECT_EQ(bytes.size(), 26u);
    EXPECT_EQ(bytes, "192.168.0.90\r\n64400\r\n180\r\n");
}

TEST_F(SettingsFileTest, EmptyValuesAreStoredAndReadBack)
{
    ASSERT_TRUE(WriteSettingsFile(Path(), {}));
    EXPECT_EQ(Bytes(), "\r\n\r\n\r\n");
    const auto bytes = ReadSettingsFile(Path());
    ASSERT_TRUE(bytes.has_value());
    const ConnectionSettings s = SettingsFromFile(*bytes);
    EXPECT_EQ(s.Host + s.TelnetPortText + s.HttpPortText, "");
}

TEST_F(SettingsFileTest, AnExistingFileIsEmptiedAndRewritten)
{
    WriteFileBytes(Path(), std::string(1000, 'z'));
    ASSERT_TRUE(WriteSettingsFile(Path(), {"h", "1", 1, "2"}));
    EXPECT_EQ(Bytes(), "h\r\n1\r\n2\r\n");
}

TEST_F(SettingsFileTest, ADirectoryInItsPlaceNeitherReadsNorWrites)
{
    std::filesystem::create_directory(Path());
    EXPECT_FALSE(ReadSettingsFile(Path()).has_value());
    EXPECT_FALSE(WriteSettingsFile(Path(), {"h", "1", 1, "2"}));
    EXPECT_TRUE(std::filesystem::is_directory(Path()));
}

#ifndef _WIN32
// Neither is read or written, and writing does not wait for a reader of the pipe.
TEST_F(SettingsFileTest, ANamedPipeOrADeviceInItsPlaceIsLeftAloneAtOnce)
{
    ASSERT_EQ(mkfifo(Path().c_str(), 0600), 0);
    auto writing = std::async(std::launch::async, [this] { return WriteSettingsFile(Path(), {"h", "1", 1, "2"}); });
    if (writing.wait_for(5s) != std::future_status::ready) {
        const int reader = open(Path().c_str(), O_RDONLY | O_NONBLOCK);   // lets the stuck writer go on
        writing.wait();
        close(reader);
        FAIL() << "writing waited for a reader of the pipe";
    }
    EXPECT_FALSE(writing.get());
    EXPECT_FALSE(ReadSettingsFile(Path()).has_value());
    EXPECT_TRUE(std::filesystem::is_fifo(Path()));

    std::filesystem::remove(Path());
    std::filesystem::create_symlink("/dev/zero", Path());
    EXPECT_FALSE(WriteSettingsFile(Path(), {"h", "1", 1, "2"}));
    EXPECT_FALSE(ReadSettingsFile(Path()).has_value());
    EXPECT_TRUE(std::filesystem::is_symlink(Path()));
}
#endif

TEST_F(SettingsFileTest, AMissingFileReadsAsNone)
{
    EXPECT_FALSE(ReadSettingsFile(Path()).has_value());
}

TEST_F(SettingsFileTest, EveryByteSurvivesReadingAndWritingBack)
{
    // Three lines holding every byte that is not a line ending.
    std::string lines[3];
    for (int byte = 0; byte < 256; ++byte)
        if (byte != 0 && byte != '\r' && byte != '\n')
            lines[byte % 3] += static_cast<char>(byte);
    const std::string original = lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2] + "\r\n";
    WriteFileBytes(Path(), original);

    const auto bytes = ReadSettingsFile(Path());
    ASSERT_TRUE(bytes.has_value());
    ASSERT_TRUE(WriteSettingsFile(Path(), SettingsFromFile(*bytes)));
    EXPECT_EQ(Bytes(), original);
}

// What the system's own converter makes of one byte of Windows-1252, as UTF-8; none for the
// five bytes it leaves undefined.
std::optional<std::string> SystemWindows1252ToUtf8(char byte)
{
#ifdef _WIN32
    wchar_t wide[2] = {};
    const int count = MultiByteToWideChar(1252, MB_ERR_INVALID_CHARS, &byte, 1, wide, 2);
    if (count != 1)
        return std::nullopt;
    char utf8[8] = {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, 1, utf8, sizeof utf8, nullptr, nullptr);
    return std::string(utf8, static_cast<std::size_t>(size));
#else
    const iconv_t converter = iconv_open("UTF-8", "WINDOWS-1252");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    char in[1] = {byte};
    char out[8];
    char* inPointer = in;
    char* outPointer = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    const bool converted = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    if (!converted)
        return std::nullopt;
    return std::string(out, sizeof out - outLeft);
#endif
}

// Every byte against the system's converter (glibc's iconv, or Windows itself under Wine). The
// five bytes Windows-1252 leaves undefined (which Windows maps to the C1 control of the same
// value, and iconv refuses) keep that C1 code point, so every byte read is written back unchanged.
TEST(Codepage, AgreesWithTheSystemsConverterOnAll256Bytes)
{
    const std::string undefined = "\x81\x8D\x8F\x90\x9D";
    for (int value = 0; value < 256; ++value) {
        const char byte = static_cast<char>(value);
        std::optional<std::string> expected = SystemWindows1252ToUtf8(byte);
        if (undefined.find(byte) != std::string::npos) {
            const std::string c1 = {static_cast<char>(0xC2), byte};
            EXPECT_TRUE(!expected || *expected == c1) << "byte " << value;
            expected = c1;
        }
        ASSERT_TRUE(expected.has_value()) << "the system cannot convert byte " << value;
        EXPECT_EQ(Windows1252ToUtf8(std::string(1, byte)), *expected) << "byte " << value;
        EXPECT_EQ(Utf8ToWindows1252(*expected), std::string(1, byte)) << "byte " << value;
    }
}

TEST(Codepage, CharactersOutsideBecomeAQuestionMark)
{
    EXPECT_EQ(Utf8ToWindows1252("a\xE2\x82\xBD" "b"), "a?b");    // rouble sign
    EXPECT_EQ(Utf8ToWindows1252("\xF0\x9F\x98\x80"), "?");       // emoji
    EXPECT_EQ(Utf8ToWindows1252("x\xC3"), "x?");                  // cut sequence
    EXPECT_EQ(FitToWindows1252("ä\xE2\x82\xBD"), "ä?");
}

}  // namespace
