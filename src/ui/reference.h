// The command reference shown by the reference button.
#pragma once

#include "platform/window.h"

inline constexpr Rgb ReferenceColour = {255, 0, 0};

// Replaces the editor's text with the reference, in ReferenceColour.
void ShowCommandReference();
