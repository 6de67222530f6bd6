// Finishing a part file and giving it up: alike on every system, over its own steps.
#include "platform/file.h"
#include "platform/file_steps.h"

#include <utility>

bool FinishPartFile(PartFile& file, std::string& why)
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

void AbandonPartFile(PartFile& file)
{
    if (file.handle != -1)
        CloseFile(std::exchange(file.handle, -1));
    RemoveFile(file.temporary);
}
