// The connection settings at start-up.
#pragma once

#include "board/settings.h"

// From the file in the working folder, or else from three prompts, whose answers are written to it.
ConnectionSettings LoadSettings();
