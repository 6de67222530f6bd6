// Whole-file reading and writing on Windows. A Windows folder holds no named pipes or devices,
// so a path checked to be a regular file opens plainly.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/file.h"
#include "platform/shared/file_steps.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <utility>

std::optional<std::string> ReadRegularFile(const std::filesystem::path& path)
{
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

bool WriteRegularFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return false;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

// In the user's language.
std::string ErrorText(int code)
{
    const auto error = static_cast<DWORD>(code);
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide(text ? text : L"", length);
    LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' '))
        wide.pop_back();
    if (wide.empty())
        wide = L"Fehler " + std::to_wstring(error);
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), size, nullptr,
                        nullptr);
    return narrow;
}

namespace {

// Every byte, in parts of at most a GB, as WriteFile takes them.
bool WriteAll(std::intptr_t handle, std::string_view bytes, std::string& why)
{
    while (!bytes.empty()) {
        const auto part = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle), bytes.data(), part, &written, nullptr) || written == 0) {
            why = ErrorText(static_cast<int>(GetLastError()));
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

std::optional<SaveFile> BeginSaveFile(const std::filesystem::path& target, std::string& why)
{
    // Beside the target and unique: a name that is taken is passed over. Short, as a target's
    // path may already be as long as Windows allows; hidden, and a dot-file to Wine as well.
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path temporary =
            target.parent_path()
            / (L".skarvel-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".tmp");
        HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            return SaveFile{reinterpret_cast<std::intptr_t>(handle), temporary, target};
        if (GetLastError() != ERROR_FILE_EXISTS) {
            why = ErrorText(static_cast<int>(GetLastError()));
            return std::nullopt;
        }
    }
    why = ErrorText(ERROR_FILE_EXISTS);
    return std::nullopt;
}

bool AppendToSaveFile(SaveFile& file, std::string_view bytes, std::string& why)
{
    return WriteAll(file.handle, bytes, why);
}

int FlushAndClose(std::intptr_t handle)
{
    const auto file = reinterpret_cast<HANDLE>(handle);
    DWORD error = FlushFileBuffers(file) ? 0 : GetLastError();
    if (!CloseHandle(file) && error == 0)
        error = GetLastError();
    return static_cast<int>(error);
}

void CloseFile(std::intptr_t handle)
{
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

int RenameOver(const std::filesystem::path& from, const std::filesystem::path& to)
{
    // Shown like any other file once it has its name.
    SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return static_cast<int>(GetLastError());
    return 0;
}

void RemoveFile(const std::filesystem::path& path)
{
    DeleteFileW(path.c_str());
}

std::optional<AppendFile> OpenAppendFile(const std::filesystem::path& path, std::string& why)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        why = ErrorText(ERROR_ACCESS_DENIED);
        return std::nullopt;
    }
    // Readers may look at the file while it grows. Writing, not only appending: a failed
    // addition is cut off again.
    HANDLE handle = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_WRITE_DATA | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        why = ErrorText(static_cast<int>(GetLastError()));
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(handle, &size);
    return AppendFile{reinterpret_cast<std::intptr_t>(handle), static_cast<std::uint64_t>(size.QuadPart)};
}

bool AppendToFile(AppendFile& file, std::string_view bytes, std::string& why)
{
    const auto handle = reinterpret_cast<HANDLE>(file.handle);
    std::string_view rest = bytes;
    while (!rest.empty()) {
        // Both offsets all ones: at the file's end, whoever else wrote there meanwhile.
        OVERLAPPED atEnd{};
        atEnd.Offset = atEnd.OffsetHigh = 0xFFFFFFFF;
        const auto part = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle, rest.data(), part, &written, &atEnd) || written == 0) {
            why = ErrorText(static_cast<int>(GetLastError()));
            FILE_END_OF_FILE_INFO end{};
            end.EndOfFile.QuadPart = static_cast<LONGLONG>(file.size);
            SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end);
            return false;
        }
        rest.remove_prefix(written);
    }
    file.size += bytes.size();
    return true;
}

void CloseAppendFile(AppendFile& file)
{
    if (file.handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(std::exchange(file.handle, -1)));
}

// --- text files of the user's ----------------------------------------------------------------

const std::string_view SystemLineEnd = "\r\n";

std::tm LocalTime(std::chrono::system_clock::time_point at)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm local{};
    localtime_s(&local, &seconds);
    return local;
}
