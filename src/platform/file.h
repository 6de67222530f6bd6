// Files read and written whole, and files written in parts that take their name only once they
// are complete. Only a regular file counts: a named pipe, a device or a folder in its place is
// never written and never waited on.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
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
struct SaveFile {
    std::intptr_t handle = -1;           // a POSIX descriptor or a Windows HANDLE
    std::filesystem::path temporary;
    std::filesystem::path target;
};

// Creates the temporary file. None on failure, with the system's reason in `why` (UTF-8).
std::optional<SaveFile> BeginSaveFile(const std::filesystem::path& target, std::string& why);

// Adds bytes at its end. False on failure, with the reason.
bool AppendToSaveFile(SaveFile& file, std::string_view bytes, std::string& why);

// Writes it out, closes it and gives it the target's name, replacing a file of that name. False
// on failure, with the reason: the temporary file is gone then, and the target is as it was.
bool CommitSaveFile(SaveFile& file, std::string& why);

// Closes the temporary file and removes it.
void CancelSaveFile(SaveFile& file);

// The system's line end, for text files of the user's.
extern const std::string_view SystemLineEnd;

// A moment of the wall clock in local time, for the names and lines of the user's files; and
// written in a strftime format.
std::tm LocalTime(std::chrono::system_clock::time_point at);
std::string LocalTimeText(std::chrono::system_clock::time_point at, const char* format);

// A file that lines are added to at its end, each in one write that reaches the system before
// the call returns: what was added survives the program's crash.
struct AppendFile {
    std::intptr_t handle = -1;           // a POSIX descriptor or a Windows HANDLE
    std::uint64_t size = 0;              // its length after the last addition that went whole
};

// Opens the file for adding, creating it where it is missing. None on failure (and where the
// path names anything but a regular file), with the system's reason in `why` (UTF-8).
std::optional<AppendFile> OpenAppendFile(const std::filesystem::path& path, std::string& why);

// Adds the bytes at the file's end. False on failure, with the reason; what went out of them
// before the failure is cut off again, so that the file ends where the last whole addition did.
bool AppendToFile(AppendFile& file, std::string_view bytes, std::string& why);

void CloseAppendFile(AppendFile& file);

