// Saving the output to a file the user picks: the output view's "save" entry, kept apart from the
// view, which only hands over its lines.
#include "platform/linux/desktop.h"

#include "platform/shared/output_file.h"
#include "platform/shared/output_model.h"

#include <QApplication>

#include <chrono>
#include <filesystem>

void SaveToFile(const OutputModel& model)
{
    const std::optional<std::string> chosen =
        ChooseFileToWrite(SaveOutputDialogTitle, SuggestedOutputFileName(std::chrono::system_clock::now()));
    if (!chosen)
        return;
    // The window is painted on meanwhile, but takes no input: the pointer says it is busy.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string problem;
    const bool saved = SaveOutputLines(
        std::filesystem::path(std::u8string(chosen->begin(), chosen->end())), model.LineCount(),
        [&model](std::size_t index) { return model.Line(index); }, "\n",
        [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }, problem);
    QApplication::restoreOverrideCursor();
    if (!saved)
        MessageDialog(SaveOutputProblemTitle, problem);
}
