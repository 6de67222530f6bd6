// Windows-1252, the code page of the wire and the settings file. Inside the program text is
// UTF-8; the table maps all 256 bytes one-to-one, so any byte read is written back unchanged.
#pragma once

#include <string>
#include <string_view>

std::string Windows1252ToUtf8(std::string_view bytes);

// A character outside Windows-1252 (or a broken UTF-8 sequence) becomes "?".
std::string Utf8ToWindows1252(std::string_view text);

// What a text becomes when it goes through Windows-1252: shown, stored and sent alike.
std::string FitToWindows1252(std::string_view text);
