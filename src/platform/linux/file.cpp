// Whole-file reading and writing over POSIX calls, so that only regular files are ever touched:
// a named pipe would hold an open() until some reader came, and a device would swallow whatever
// is written to it.
#include "platform/file.h"
#include "platform/shared/file_steps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <utility>

namespace {

// The path is looked at before it is opened, so that no device is ever opened; and the file
// opened is checked again, since something else may have taken the path in between. Opening
// does not wait, which is what a named pipe without a reader would do.
int OpenRegular(const std::filesystem::path& path, int flags)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return -1;
    const int handle = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    struct stat opened {};
    if (handle >= 0 && (fstat(handle, &opened) != 0 || !S_ISREG(opened.st_mode))) {
        close(handle);
        return -1;
    }
    return handle;
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::filesystem::path& path)
{
    const int handle = OpenRegular(path, O_RDONLY);
    if (handle < 0)
        return std::nullopt;
    std::string bytes;
    char chunk[4096];
    ssize_t got;
    while ((got = read(handle, chunk, sizeof chunk)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    close(handle);
    if (got < 0)
        return std::nullopt;
    return bytes;
}

bool WriteRegularFile(const std::filesystem::path& path, std::string_view bytes)
{
    const int handle = OpenRegular(path, O_WRONLY | O_CREAT);
    if (handle < 0)
        return false;
    // Emptied only now that it is known to be a regular file.
    bool written = ftruncate(handle, 0) == 0;
    while (written && !bytes.empty()) {
        const ssize_t put = write(handle, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        written = put > 0;
        if (written)
            bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return close(handle) == 0 && written;
}

std::string ErrorText(int error)
{
    return std::strerror(error);
}

namespace {

// Every byte, resumed after signals; a write that takes nothing counts as a full disk.
bool WriteAll(std::intptr_t handle, std::string_view bytes, std::string& why)
{
    while (!bytes.empty()) {
        const ssize_t put = write(static_cast<int>(handle), bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            why = ErrorText(put < 0 ? errno : ENOSPC);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

}  // namespace

std::optional<SaveFile> BeginSaveFile(const std::filesystem::path& target, std::string& why)
{
    // Hidden beside the target, and unique: a file manager shows nothing half-written. Short, as
    // a target's name may already be as long as the folder allows.
    std::string name = (target.parent_path() / ".skarvel-XXXXXX").string();
    const int handle = mkostemp(name.data(), O_CLOEXEC);
    if (handle < 0) {
        why = ErrorText(errno);
        return std::nullopt;
    }
    // mkostemp makes it private to the user; a saved file gets what any new file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(handle, 0666 & ~mask);
    return SaveFile{handle, name, target};
}

bool AppendToSaveFile(SaveFile& file, std::string_view bytes, std::string& why)
{
    return WriteAll(file.handle, bytes, why);
}

int FlushAndClose(std::intptr_t handle)
{
    int error = fsync(static_cast<int>(handle)) == 0 ? 0 : errno;
    if (close(static_cast<int>(handle)) != 0 && error == 0)
        error = errno;
    return error;
}

void CloseFile(std::intptr_t handle)
{
    close(static_cast<int>(handle));
}

int RenameOver(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void RemoveFile(const std::filesystem::path& path)
{
    unlink(path.c_str());
}

std::optional<AppendFile> OpenAppendFile(const std::filesystem::path& path, std::string& why)
{
    const int handle = OpenRegular(path, O_WRONLY | O_CREAT | O_APPEND);
    if (handle < 0) {
        why = ErrorText(errno != 0 ? errno : EINVAL);
        return std::nullopt;
    }
    struct stat status {};
    fstat(handle, &status);
    return AppendFile{handle, static_cast<std::uint64_t>(status.st_size)};
}

bool AppendToFile(AppendFile& file, std::string_view bytes, std::string& why)
{
    if (!WriteAll(file.handle, bytes, why)) {
        if (ftruncate(static_cast<int>(file.handle), static_cast<off_t>(file.size)) != 0)
            why += " (" + ErrorText(errno) + ")";
        return false;
    }
    file.size += bytes.size();
    return true;
}

void CloseAppendFile(AppendFile& file)
{
    if (file.handle >= 0)
        close(static_cast<int>(std::exchange(file.handle, -1)));
}

// --- text files of the user's ----------------------------------------------------------------

const std::string_view SystemLineEnd = "\n";

std::tm LocalTime(std::chrono::system_clock::time_point at)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}
