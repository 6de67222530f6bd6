// The steps of a save file (file.h) that each system takes its own way, for what both front
// ends do alike in save_file.cpp. Errors are the system's numbers. Private to the platform layer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Writes out what the system still holds of the file and closes it; 0 when both succeeded.
int FlushAndClose(std::intptr_t handle);
// Closes without waiting for the disk.
void CloseFile(std::intptr_t handle);
// Gives the file `from` the name `to`, replacing a file of that name; 0 on success.
int RenameOver(const std::filesystem::path& from, const std::filesystem::path& to);
void RemoveFile(const std::filesystem::path& path);
// The system's own words for an error, as UTF-8.
std::string ErrorText(int error);
