// What a dialog of the program showed, as every desktop's tests record it.
#pragma once

#include <chrono>
#include <string>

struct SeenDialog {
    bool input = false;                // an input dialog, else a message
    std::string title, text, preset;   // text: an input dialog's prompt or a message's text
    std::chrono::milliseconds at{0};   // when it opened, where the test keeps a clock of its own
};
