// Files read and written whole, and files written in parts that take their name only once they
// are complete. Only a regular file counts: a named pipe, a device or a folder in its place is
// never written and never waited on.
#pragma once

#include <filesystem>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The file's bytes; none when it is not a regular file that can be read.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path);

// Creates the file, or empties it, and writes `bytes`. False on any failure, and when the path
// names anything but a regular file, which is then left as it is. Never blocks.
bool WriteRegularFile(const std::filesystem::path& path, std::string_view bytes);

// A file being written under a temporary name beside its target (in the same folder, so that
// taking the target's name is one rename), for files that must never be seen half-written.
struct PartFile {
    std::intptr_t handle = -1;           // a POSIX descriptor or a Windows HANDLE
    std::filesystem::path temporary;
    std::filesystem::path target;
};

// Creates the temporary file. None on failure, with the system's reason in `why` (UTF-8).
std::optional<PartFile> BeginPartFile(const std::filesystem::path& target, std::string& why);

// Adds bytes at its end. False on failure, with the reason.
bool AppendToPartFile(PartFile& file, std::string_view bytes, std::string& why);

// Writes it out, closes it and gives it the target's name, replacing a file of that name. False
// on failure, with the reason: the temporary file is gone then, and the target is as it was.
bool FinishPartFile(PartFile& file, std::string& why);

// Closes the temporary file and removes it.
void AbandonPartFile(PartFile& file);

// The system's line end, for text files of the user's.
#ifdef _WIN32
inline constexpr std::string_view SystemLineEnd = "\r\n";
#else
inline constexpr std::string_view SystemLineEnd = "\n";
#endif

// A file that lines are added to at its end, each in one write that reaches the system before
// the call returns: what was added survives the program's crash.
struct AppendFile {
    std::intptr_t handle = -1;           // a POSIX descriptor or a Windows HANDLE
};

// Opens the file for adding, creating it where it is missing. None on failure (and where the
// path names anything but a regular file), with the system's reason in `why` (UTF-8).
std::optional<AppendFile> OpenAppendFile(const std::filesystem::path& path, std::string& why);

// Adds the bytes at the file's end. False on failure, with the reason.
bool AppendToFile(AppendFile& file, std::string_view bytes, std::string& why);

void CloseAppendFile(AppendFile& file);

