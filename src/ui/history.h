// The commands sent a moment ago, one key away in the command field: Up shows the one before,
// Down the one after, and past the newest the text the user had begun. Kept while the program
// runs; never written anywhere.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/window.h"

inline constexpr std::size_t CommandHistoryLimit = 100;

// Keeps a command sent with SendButton: not an empty one, and not the one kept last again. Ends
// a walk through the history.
void RememberCommand(std::string_view command);

// Up or Down in the command field.
void RecallCommand(Key key);

// Forgets every command: the history as the program starts.
void ForgetCommands();
