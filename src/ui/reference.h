// The command reference shown by the reference button.
#pragma once

// Replaces the editor's text with the reference, in ReferenceColour.
void ShowCommandReference();
