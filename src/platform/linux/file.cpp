// Whole-file reading and writing over POSIX calls, so that only regular files are ever touched:
// a named pipe would hold an open() until some reader came, and a device would swallow whatever
// is written to it.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

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
