// The program from start to end.
#pragma once

// The program's start-up state: the program-wide values, and every layer's own (the board link,
// the click, the command history, the overview, the running log). Tests put everything back
// with it.
void SetInitialValues();

// Starts up, runs the main window's loop and ends; the process's exit code (always 0).
int RunProgram();
