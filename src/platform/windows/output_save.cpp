// Saving the output to a file the user picks: the output view's "save" entry, kept apart from the
// view, which only hands over its lines.
#include "platform/windows/desktop.h"

#include "platform/shared/output_file.h"
#include "platform/shared/output_model.h"

#include <chrono>
#include <filesystem>

void SaveToFile(const OutputModel& model)
{
    const std::optional<std::string> chosen =
        ChooseFileToWrite(SaveOutputDialogTitle, SuggestedOutputFileName(std::chrono::system_clock::now()));
    if (!chosen)
        return;
    // The window is painted on meanwhile, but takes no input: the pointer says it is busy.
    const HCURSOR previous = SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));   // IDC_WAIT
    std::string problem;
    const bool saved = SaveOutputLines(
        std::filesystem::path(Wide(*chosen)), model.LineCount(), [&model](std::size_t index) { return model.Line(index); },
        "\r\n", [] { DispatchKeepAlive(); }, problem);
    SetCursor(previous);
    if (!saved)
        MessageDialog(SaveOutputProblemTitle, problem);
}
