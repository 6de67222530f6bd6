// Reading, parsing and writing the settings file.
#include "board/settings.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "board/codepage.h"

std::int32_t ParseInteger(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';

    unsigned base = 10;
    if (pos < text.size() && text[pos] == '$') {
        base = 16;
        ++pos;
    } else if (pos < text.size() && text[pos] == '%') {
        base = 2;
        ++pos;
    }

    // Unsigned arithmetic wraps, which keeps exactly the low 32 bits.
    std::uint32_t value = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        unsigned digit;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else break;
        if (digit >= base)
            break;
        value = value * base + digit;
    }
    if (negative)
        value = 0u - value;
    return static_cast<std::int32_t>(value);
}

std::string_view ReadLine(std::string_view bytes, std::size_t& pos)
{
    const std::size_t start = pos;
    while (pos < bytes.size() && bytes[pos] != '\r' && bytes[pos] != '\n' && bytes[pos] != '\0')
        ++pos;
    const std::string_view line = bytes.substr(start, pos - start);
    if (pos < bytes.size()) {
        const bool carriageReturn = bytes[pos] == '\r';
        ++pos;
        if (carriageReturn && pos < bytes.size() && bytes[pos] == '\n')
            ++pos;
    }
    return line;
}

ConnectionSettings SettingsFromFile(std::string_view bytes)
{
    std::size_t pos = 0;
    ConnectionSettings settings;
    settings.Host = Windows1252ToUtf8(ReadLine(bytes, pos));
    settings.TelnetPortText = Windows1252ToUtf8(ReadLine(bytes, pos));
    settings.TelnetPort = ParseInteger(settings.TelnetPortText);
    settings.HttpPortText = Windows1252ToUtf8(ReadLine(bytes, pos));
    return settings;
}

std::optional<std::string> ReadSettingsFile(const std::filesystem::path& path)
{
    // A directory opens without error on Linux, and root reads past permissions: only a regular
    // file that actually reads counts.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad())
        return std::nullopt;
    return bytes;
}

bool WriteSettingsFile(const std::filesystem::path& path, const ConnectionSettings& settings)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
        return false;
    for (const std::string* line : {&settings.Host, &settings.TelnetPortText, &settings.HttpPortText})
        file << Utf8ToWindows1252(*line) << "\r\n";
    file.close();
    return !file.fail();
}
