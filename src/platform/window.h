// The desktop as the program sees it: one main window whose controls are addressed by fixed
// numbers, one event queue, timers, two kinds of modal dialog, a connect window and the
// default browser. Text crosses this boundary as UTF-8.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct FontSpec {
    std::string_view face;
    int points = 0;
    bool bold = false;
};

// Action: a menu entry, a function key or a table window's request (number: the action's);
// Row: a table window's row activated (number: the row).
enum class EventKind { None, Timer, Control, Close, Key, Action, Row };

// Keys of a line edit that the program handles itself (Up and Down walk the command history);
// the control consumes them.
enum class Key { None, Up, Down };

struct Event {
    EventKind kind = EventKind::None;
    int number = 0;      // timer, control or action number, or a row
    Key key = Key::None;  // of a Key event
};

enum class ControlKind { TitleText, LineEdit, Button, Toggle, OutputEditor };

struct ControlSpec {
    int number;
    ControlKind kind;
    int left, top, width, height;
    std::string_view text;
    std::string_view tooltip;          // empty: none
    std::string_view accessibleName;   // what a screen reader calls it; empty: none
};

// Starts the desktop session; needed before any window or dialog. Safe to call again.
// From then on every wait of the socket layer (net.h) keeps the windows painted and answering
// the window manager, and delivers no timer tick (ticks wait in the queue) and no event to the
// program. Keys typed meanwhile reach the controls once the program waits for events again
// (typed text lands in the field it gave the focus back to); a click reaches its control during
// the wait or when it ends, never later, so that a click on a button disabled for the exchange
// is lost and a click on the polling toggle stops polling within one exchange.
void StartDesktop();

// Releases every window, timer and queued event (for the end of the program and between tests).
void EndDesktop();

// Modal dialogs. "\r" in a text shows as a line break, so "\r\r" gives a break and an empty line.
// InputDialog returns the edited text, or empty text on Escape or when the window is closed.
std::string InputDialog(std::string_view title, std::string_view prompt, std::string_view preset);
void MessageDialog(std::string_view title, std::string_view text);

// The small window shown while the program connects; painted at the latest when the program
// first waits for the board or looks up its name (a board that answers at once need not wait
// for the window system to show it).
void OpenConnectWindow(std::string_view title, std::string_view text);
void CloseConnectWindow();

// The main window: fixed client size, centred on the primary screen, shown and activated, the
// controls created in the order given (which is also the keyboard order).
bool OpenMainWindow(std::string_view title, int clientWidth, int clientHeight, FontSpec titleFont,
                    std::span<const ControlSpec> controls);
void SetMainWindowTitle(std::string_view title);

// Timer ticks arrive as Timer events, at most one queued per timer (a busy loop gets one tick
// afterwards, not all it missed); ticks that fall due while a modal dialog is open are dropped.
// Starting a running timer again starts it anew with the new period.
void StartTimer(int number, std::chrono::milliseconds period);
// A tick already queued still comes.
void StopTimer(int number);
// The clock the timers run on (the tests' desktop keeps a clock of its own).
std::chrono::steady_clock::time_point TimerClockNow();

// The oldest queued event, or waits (asleep) until one comes or `limit` passes. A button's click
// is not queued while an earlier click of it still waits there: a busy window does it once.
Event WaitWindowEvent(std::chrono::milliseconds limit);

// Drops the events of that kind and number still queued (a row's switch asked for again while its
// first was under way).
void DiscardQueuedEvents(EventKind kind, int number);

// Control operations; none of them raises a control event.
std::string GetText(int control);
void SetText(int control, std::string_view text);
void SetEnabled(int control, bool enabled);
bool IsEnabled(int control);
void Focus(int control);
// The control with the keyboard focus, also while the main window is in the background (the one
// that gets it back); 0 when the focus is elsewhere in the window or there is no window.
int FocusedControl();
bool IsPressed(int toggle);
void Release(int toggle);

// The output editor: always one colour for the whole text, lines never wrapped. Before the first
// colour is set it shows the desktop theme's colours; a set colour stands on a white background.
// While the view is at its last line, appended lines scroll into sight; once the user has
// scrolled away from it, or the program has shown the first line, the view stays where it is.
void ClearOutput(int editor);
void AppendLine(int editor, std::string_view line);
void SetTextColour(int editor, Rgb colour);   // costs nothing when the colour is unchanged
void ShowFirstLine(int editor);                // scrolls to the first line and the left edge

// The output's context menu: after its own entries, the program's, each raising an Action event;
// setting one again changes its text. `shortcut` ("F2"), where given, is shown beside it, as
// menus show a key that does the same.
void SetOutputMenuEntry(int action, std::string_view text, std::string_view shortcut = {});

// The function key F`number` in the program's windows raises an Action event.
void SetFunctionKey(int number, int action);

// The common dialog for a file to write, in the user's documents folder, suggesting the name; the
// path chosen (UTF-8), or none when the user cancelled. A file chosen that exists is to be
// replaced, which the dialog has the user confirm as the system does; or, given `appendQuestion`,
// added to: the dialog then asks that question instead ("{}" standing for the file's name), and
// a no brings the user back to choosing.
std::optional<std::string> ChooseFileToWrite(std::string_view title, std::string_view suggestedName,
                                             std::string_view appendQuestion = {});

// Puts the text on the clipboard; false when the clipboard kept what it had (the system refused).
bool CopyToClipboard(std::string_view text);

// A table window of its own beside the main window (one at a time, placed wholly on the screen):
// resizable, its last but one column taking what the window gains, at the screen's dpi, its
// columns headed as given, the keyboard first (arrows, Space and Enter on a row, Ctrl+A, Ctrl+C,
// Escape). Opening it again brings it to the front. It raises Row events for a row activated (a
// double click, Space, Enter; a key held down once), an Action event `copyAction` for Ctrl+C,
// and `closedAction` once the user has closed it (also by Escape). Rows are named for screen
// readers by their cells.
struct TableWindowSpec {
    std::string_view title;
    std::span<const std::string_view> headers;
    std::span<const int> columnWidths;   // at 96 dpi
    int clientWidth = 0, clientHeight = 0;   // at 96 dpi
    int copyAction = 0;
    int closedAction = 0;
};
void OpenTableWindow(const TableWindowSpec& shape);
void CloseTableWindow();
bool TableWindowOpen();
void SetTableRows(int count);
void SetTableCell(int row, int column, std::string_view text);
// A highlighted row stands out (a change to be seen).
void SetTableRowHighlighted(int row, bool highlighted);
// The line under the table.
void SetTableStatus(std::string_view text);
// Stale rows show as not current (greyed): what they say was read before the link was lost.
void SetTableStale(bool stale);
// The rows selected, in order; none when nothing is.
std::vector<int> SelectedTableRows();
// The table's context menu: the program's entries, each raising an Action event.
void SetTableMenuEntry(int action, std::string_view text);

// Hands a web address, exactly as given, to the desktop's default handler. Never through a shell.
void OpenWebAddress(std::string_view address);

// Sleeps for `span`, with the finest timer the system offers meanwhile (the closing click's wait).
void PauseFor(std::chrono::milliseconds span);
