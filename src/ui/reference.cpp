// Showing the reference: its own colour, and never through the reply cleaning.
#include "ui/reference.h"

#include "ui/main_window.h"
#include "ui/reference_text.h"

void ShowCommandReference()
{
    ClearOutput(OutputEditor);
    SetTextColour(OutputEditor, ReferenceColour);
    for (const std::string_view line : CommandReferenceLines)
        AppendLine(OutputEditor, line);
    // The reference is read from its heading down, not from its last line.
    ShowFirstLine(OutputEditor);
    Focus(CommandField);
}
