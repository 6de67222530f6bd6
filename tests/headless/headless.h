// A desktop without a display, for the core's tests: a third implementation of platform/window.h
// and audio.h beside the Qt and the Win32 front end. Controls are plain records, the user's
// actions and the dialogs' answers are fed by the test, and time is a clock of the test's own:
// waiting for an event moves it on to the next timer tick or planned action, so a minute of
// polling takes no time at all. The queue is the front ends' own (event_queue.h), so its rules
// are the ones tested here.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/window.h"
#include "seen_dialog.h"

namespace headless {

using Millis = std::chrono::milliseconds;

struct Control {
    ControlSpec row;                 // as the window's table gives it
    std::string text;                // a field's or a button's text
    bool enabled = true;
    bool pressed = false;            // toggles only
    std::vector<std::string> lines;  // the output editor's lines
    std::optional<Rgb> colour;       // the output's colour; none: the desktop's
    int colourChanges = 0;           // changes that took effect
    bool showsFirstLine = false;     // the program asked for the first line since the last append
};

// Everything back to the start: no window, no timers, no dialogs seen, the clock at 0.
void Reset();

// The test's clock: starts at 0 and moves only while the program waits for events, in a dialog
// or in a pause.
Millis Now();

// The next input dialogs answer these, in turn: a text is typed over the preset and accepted,
// none is Escape. Without a planned answer a dialog takes its preset.
void Answer(std::optional<std::string> text);
// How long the next dialogs stay open on the test's clock (0 by default).
void DialogsTake(Millis span);
const std::vector<SeenDialog>& Dialogs();

// Runs `action` when the program waits for events and the clock has reached `at`.
void At(Millis at, std::function<void()> action);
// Runs `action` before every timer tick is handed to the program.
void BeforeEachTick(std::function<void()> action);

// The user's doing, each raising the control events a desktop raises for it.
void Click(int control);                      // a button or a toggle; nothing when disabled
void Type(int control, std::string_view text); // appends to a field's text
void PressKey(int control, Key key);           // Up or Down in a field
void CloseWindow();

// What the program made of its window. None before it opened one.
Control* Find(int number);
bool MainWindowOpen();
std::string MainWindowTitle();
std::optional<std::string> ConnectWindowText(); // while it is open
std::vector<std::string> ConnectWindowsShown();

// Timer events handed to the program so far, per timer number.
int TicksDelivered(int timer);

// The sound: whether OpenAudio succeeds (by default it does), and every start of the sound,
// on the test's clock.
void LetAudioFail(bool fail);
const std::vector<Millis>& SoundsPlayed();

// The program's entries in the output's menu (action: text), and its function keys.
std::map<int, std::string> OutputMenu();
std::map<int, std::string> OutputMenuShortcuts();   // the shortcuts shown beside them
void ChooseFromMenu(int action);               // an entry of the output's menu, or a function key
// The next file dialogs answer these, in turn (none: cancelled); without one, cancelled.
void AnswerFileDialog(std::optional<std::string> path);
// What the program put on the clipboard last.
const std::string& Clipboard();

// The table window, while it is open (rows of cells, highlighted rows, the status line).
struct Table {
    std::string title;
    std::vector<std::string> headers;
    std::vector<std::vector<std::string>> cells;
    std::vector<bool> highlighted;
    std::string status;
    int copyAction = 0, closedAction = 0;
    int opened = 0;                              // how often it was opened or brought to the front
    bool stale = false;                          // its rows shown as not current
    std::vector<int> selected;                   // the rows the user selected
};
const Table* TableWindow();
void SelectRows(std::vector<int> rows);         // the user selects these rows
std::map<int, std::string> TableMenu();         // the program's entries in the table's menu
void ActivateRow(int row);                      // a double click, Space or Enter on it
void CopyTable();                               // Ctrl+C in it
void CloseTable();                              // the user closes it

// Addresses the program opened, when no recorder (SetWebAddressRecorder) takes them.
const std::vector<std::string>& OpenedAddresses();
// The pauses the program took (PauseFor), on the test's clock.
const std::vector<Millis>& Pauses();

}  // namespace headless
