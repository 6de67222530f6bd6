// The program from start to end.
#pragma once

#include <string>

// Starts up, runs the main window's loop and ends; the process's exit code (always 0).
int RunProgram();

// The text of the connecting window for the current settings.
std::string ConnectText();
