// The actions the program hands to its front end (SetOutputMenuEntry and SetFunctionKey in
// window.h), kept once for every front end. Private to the platform layer.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct MenuEntry {
    int action;
    std::string text;       // UTF-8
    std::string shortcut;   // shown beside it; empty: none
};

// The program's entries of the output's context menu, in the order it set them first.
const std::vector<MenuEntry>& OutputMenuEntries();
// And of the table window's.
const std::vector<MenuEntry>& TableMenuEntries();

// The action of the function key F`number`, if the program took it.
std::optional<int> FunctionKeyAction(int number);

// All forgotten (at the end of the desktop).
void ForgetProgramActions();
