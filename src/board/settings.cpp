// Reading, parsing and writing the settings file.
#include "board/settings.h"

#include "board/codepage.h"
#include "platform/file.h"

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
    return ReadRegularFile(path);
}

bool WriteSettingsFile(const std::filesystem::path& path, const ConnectionSettings& settings)
{
    std::string bytes;
    for (const std::string* line : {&settings.Host, &settings.TelnetPortText, &settings.HttpPortText})
        bytes += Utf8ToWindows1252(*line) + "\r\n";
    return WriteRegularFile(path, bytes);
}
