// The three connection settings and the file that keeps them: "Skarvel.ini" in the working
// folder, three lines of Windows-1252 text, stored exactly as the user entered them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

struct ConnectionSettings {
    std::string Host;             // dotted IPv4 address or host name
    std::string TelnetPortText;   // the command port as entered
    std::int32_t TelnetPort = 0;  // ParseInteger of TelnetPortText
    std::string HttpPortText;     // the web port, used verbatim in the board's address
};

inline constexpr std::string_view SettingsFileName = "Skarvel.ini";

// Leading blanks and tabs, an optional sign, then "$" and hex digits, "%" and binary digits, or
// decimal digits, up to the first character that does not fit. Only the low 32 bits count.
std::int32_t ParseInteger(std::string_view text);

// One line from `pos`, which moves past its ending: CR, LF, CR LF, a zero byte or the end.
// At the end of the bytes it gives empty text, so missing lines read as empty.
std::string_view ReadLine(std::string_view bytes, std::size_t& pos);

// The settings held by the file's bytes (Windows-1252).
ConnectionSettings SettingsFromFile(std::string_view bytes);

// The file's bytes; none when it is not a regular file that can be read.
std::optional<std::string> ReadSettingsFile(const std::filesystem::path& path);

// Creates or empties the file and writes the three lines, each ended by CR LF. False on failure,
// and when something other than a regular file has the name (it is then left alone).
bool WriteSettingsFile(const std::filesystem::path& path, const ConnectionSettings& settings);
