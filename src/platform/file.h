// Files read and written whole. Only a regular file counts: a named pipe, a device or a folder
// in its place is never written and never waited on.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The file's bytes; none when it is not a regular file that can be read.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path);

// Creates the file, or empties it, and writes `bytes`. False on any failure, and when the path
// names anything but a regular file, which is then left as it is. Never blocks.
bool WriteRegularFile(const std::filesystem::path& path, std::string_view bytes);
