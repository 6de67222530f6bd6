// What the files of the Win32 front end share: the desktop's state, text conversion, the message
// pumps, creating and showing windows, the fonts and the output control. Private to this front end.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/shared/event_queue.h"
#include "platform/window.h"
#include "utils/timing.h"

inline constexpr wchar_t MainWindowClass[] = L"SkarvelMainWindow";
inline constexpr wchar_t ConnectWindowClass[] = L"SkarvelConnectWindow";
inline constexpr wchar_t InputDialogClass[] = L"SkarvelInputDialog";
inline constexpr wchar_t MessageWindowClass[] = L"SkarvelMessages";
inline constexpr wchar_t TableWindowClass[] = L"SkarvelTableWindow";

// The time a newly shown window is given to be drawn by the window system before the
// caller goes on (it may block right after).
inline constexpr std::chrono::milliseconds ShowSettleTime = 100ms;
// A socket wait checks the socket itself at least this often, in case the network
// event that should wake it was missed.
inline constexpr std::chrono::milliseconds SocketCheckInterval = 100ms;

struct ControlInfo {
    HWND handle = nullptr;
    ControlKind kind = ControlKind::TitleText;
    RECT place{};             // left, top, right, bottom in the window's client area, at 96 dpi
    std::wstring tooltip;
    std::wstring accessibleName;   // what a screen reader calls it; empty: its text
};

struct Desktop {
    HWND mainWindow = nullptr;
    HWND connectWindow = nullptr;
    HWND tableWindow = nullptr;
    HWND messageWindow = nullptr;          // owns the timers while there is no main window
    HWND tooltips = nullptr;
    std::map<int, ControlInfo> controls;
    std::map<int, HWND> timers;            // timer number: the window it runs on
    bool moving = false;                   // the window is being dragged or sized
    bool inMenu = false;                   // its system menu is open
    bool settingText = false;              // the program itself changes a control's text
    int focusControl = 0;                  // the control to give the focus back to on activation
    int lastEditFocus = 0;                 // the last line edit that had the focus
    int dpi = 96;                          // the main window's, which it is laid out for
    FontSpec titleFont;
    // Every font made here, by face, height, weight and character set; deleted at the end.
    std::map<std::tuple<std::wstring, int, int, int>, HFONT> fonts;
    std::map<HWND, int> layoutDpi;         // each top-level window of ours: the dpi it is laid out for
};

Desktop& TheDesktop();
HINSTANCE Instance();

std::wstring Wide(std::string_view text);
std::string Utf8(std::wstring_view text);
// "\r" is a line break on screen, so "\r\r" shows as a break and an empty line.
std::wstring ShownText(std::string_view text);
std::wstring WindowText(HWND window);

ControlInfo* Control(int number);
HWND ControlHandle(int number);

// Paints, messages sent by the system and the window system's own requests, but no user input
// and no timer: what keeps windows drawn and answering while the program is busy.
inline constexpr DWORD KeepAliveMessages = QS_PAINT | QS_SENDMESSAGE | QS_POSTMESSAGE;
void DispatchKeepAlive();
// Every waiting message, user input and timers too, each to its window (keyboard navigation
// through the main window's dialog manager, the F keys the program took as actions).
void DispatchWaiting();
// The user moved the pointer over a window of the program (its WM_SETCURSOR), typed or came
// back to it: a press may be near: the click's stream resumes, suspended again after a quiet while.
void NoteUserInput();

// Where a window of that outer size stands centred on the whole primary screen.
POINT CentredOnScreen(SIZE outer);
// Shows the window in front and paints it now, then lets the window system draw it (bounded).
void ShowAndPaint(HWND window);
HWND CreateChild(HWND parent, const wchar_t* windowClass, const std::wstring& text, DWORD style, DWORD exStyle,
                 const RECT& place, int id);
void AddTooltip(HWND control, const std::wstring& text);
// Registers the classes of the program's windows (window.cpp; the session does it once).
void RegisterClasses();

// The window procedures of dialogs.cpp and table.cpp.
LRESULT CALLBACK ConnectWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK InputDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK TableWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// --- dpi and fonts (fonts.cpp) -------------------------------------------------------------------
// Every length of the layout is at 96 dpi; a window on a screen of D dpi has it times D/96, and
// its fonts their point size at D. Functions that Windows 7 and 8.1 lack are looked up when the
// program runs: there, every window has the system's dpi.

// The dots per inch the monitor of a window has: as the system tells (Windows 10 1607 and
// later), else the system's.
int MonitorDpi(HWND window);
// The dots per inch a window and its controls are laid out for (that of its top-level window).
int WindowDpi(HWND window);
// A length of the layout at 96 dpi, at `dpi`; a box edge by edge, so that neighbours stay aligned.
int Scaled(int length, int dpi);
RECT ScaledPlace(const RECT& place, int dpi);
// A system metric (frame, edge) at `dpi`.
int SystemMetric(int index, int dpi);
// The outer size of a window with the given client size and styles at `dpi`.
SIZE OuterSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi);
// The desktop's GUI font at the size the layout was made for, at `dpi`.
HFONT GuiFont(int dpi);
// A font of that face, size and weight at `dpi`; the desktop deletes it at the end.
HFONT MakeFont(FontSpec wanted, int dpi);
// The font, at most `wanted`, in which the text fits the box (see FittedFontPixels).
HFONT FittedFont(HFONT wanted, const std::wstring& text, SIZE box, bool mayWrap);
// Gives a control showing one line of text, placed in `place` (at `dpi`), the largest font, at
// most `wanted`, in which it fits.
void FitTextToControl(HWND control, ControlKind kind, const RECT& place, HFONT wanted, int dpi);

// --- the output control (output.cpp) -------------------------------------------------------------

// `name` is what screen readers call it.
HWND CreateOutputEditor(HWND parent, int number, const RECT& place, const std::wstring& name);
// All its lines joined by "\n".
std::string OutputEditorText(HWND editor);
// The lines in sight, joined by CR LF: what a screen reader reads as its value.
std::wstring OutputShownText(HWND editor);
bool OutputHasFocus(HWND editor);
// The answer to WM_GETOBJECT for its client area (output_accessible.cpp); 0 when there is none.
LRESULT OutputAccessibleObject(HWND editor, WPARAM wParam, const std::wstring& name);

class OutputModel;
// Asks where to with the common save dialog, and writes the whole output there, a line per line
// (output_save.cpp).
void SaveToFile(const OutputModel& model);
