// The output saved to a file, as both front ends offer it in the output's context menu: its
// menu entry, the name the save dialog suggests, and writing the lines so that the window stays
// painted and nothing half-written ever has the chosen name. Private to the platform layer.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

inline constexpr std::string_view SaveOutputMenuText = "Ausgabe speichern …";
inline constexpr std::string_view SaveOutputDialogTitle = "Ausgabe speichern";
// The title of the message a failed save shows; its text comes from SaveOutputLines.
inline constexpr std::string_view SaveOutputProblemTitle = "Skarvel: Problem";

// "Skarvel-Ausgabe-YYYY-MM-DD-HHMMSS.txt" at that moment, in local time.
std::string SuggestedOutputFileName(std::chrono::system_clock::time_point at);

// Writes `count` lines, `line(i)` each (UTF-8, as shown), every one followed by `lineEnd`, to
// `path`: under a temporary name first, which takes the chosen name only once all is written.
// `keepAlive` is called between parts, often enough that the window never stands still for long.
// On failure it returns false and the text of the message to show, with the system's reason.
bool SaveOutputLines(const std::filesystem::path& path, std::size_t count,
                     const std::function<std::string_view(std::size_t)>& line, std::string_view lineEnd,
                     const std::function<void()>& keepAlive, std::string& problem);
