// The actions the program hands to its front end (SetOutputMenuEntry and SetFunctionKey in
// window.h), kept once for every front end. Private to the platform layer.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct OutputMenuEntry {
    int action;
    std::string text;   // UTF-8
};

// The program's entries of the output's context menu, in the order it set them first.
const std::vector<OutputMenuEntry>& OutputMenuEntries();

// The action of the function key F`number`, if the program took it.
std::optional<int> FunctionKeyAction(int number);

// All forgotten (at the end of the desktop).
void ForgetProgramActions();
