// What files need alike on every system, over each system's own steps: committing a save file
// and cancelling it, and the local time written out.
#include "platform/file.h"
#include "platform/shared/file_steps.h"

#include <array>
#include <utility>

bool CommitSaveFile(SaveFile& file, std::string& why)
{
    int error = FlushAndClose(std::exchange(file.handle, -1));
    if (error == 0)
        error = RenameOver(file.temporary, file.target);
    if (error != 0) {
        RemoveFile(file.temporary);
        why = ErrorText(error);
        return false;
    }
    return true;
}

void CancelSaveFile(SaveFile& file)
{
    if (file.handle != -1)
        CloseFile(std::exchange(file.handle, -1));
    RemoveFile(file.temporary);
}

std::string LocalTimeText(std::chrono::system_clock::time_point at, const char* format)
{
    std::array<char, 64> text{};
    const std::tm local = LocalTime(at);
    return std::string(text.data(), std::strftime(text.data(), text.size(), format, &local));
}
