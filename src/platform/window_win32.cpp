// The desktop over Win32: windows and controls by number, one queue of events for the program's
// loop, window timers, modal dialogs and the shell's default action for web addresses. Text
// crosses into Windows as UTF-16 through the W functions.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>
#include <objbase.h>
#include <richedit.h>
#include <shellapi.h>

#include "platform/event_queue.h"
#include "platform/net.h"
#include "platform/window.h"

#include <algorithm>
#include <climits>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// How long a new window may take to be mapped and painted by the window system before the
// caller goes on anyway.
constexpr auto ExposeWait = std::chrono::milliseconds(100);

// A socket wait looks at the socket itself at least this often, in case the network event that
// should wake it was missed.
constexpr auto SocketLookInterval = std::chrono::milliseconds(100);

// The outer size of an input dialog.
constexpr SIZE InputDialogSize{300, 130};

// A text that does not fit its control gets a smaller font, but none smaller than this.
constexpr int SmallestFontPixels = 9;

// Room a push button keeps between its edge and its text, on each side.
constexpr int ButtonTextMargin = 1;

constexpr wchar_t MainWindowClass[] = L"SkarvelMainWindow";
constexpr wchar_t ConnectWindowClass[] = L"SkarvelConnectWindow";
constexpr wchar_t InputDialogClass[] = L"SkarvelInputDialog";
constexpr wchar_t MessageWindowClass[] = L"SkarvelMessages";

constexpr int ProgramIconResource = 1;   // in skarvel.rc

struct ControlInfo {
    HWND handle = nullptr;
    ControlKind kind = ControlKind::TitleText;
    RECT place{};             // left, top, right, bottom in the window's client area
    std::wstring tooltip;
};

struct Desktop {
    HWND mainWindow = nullptr;
    HWND connectWindow = nullptr;
    HWND messageWindow = nullptr;          // owns the timers while there is no main window
    HWND tooltips = nullptr;
    std::map<int, ControlInfo> controls;
    EventQueue queue;
    std::map<int, HWND> timers;            // timer number: the window it runs on
    int modalDepth = 0;                    // open modal dialogs; their time drops timer ticks
    bool moving = false;                   // the window is being dragged or sized
    bool inMenu = false;                   // its system menu is open
    bool settingText = false;              // the program itself changes a control's text
    bool replacingEditor = false;          // the output is being swapped for a fresh one
    int focusControl = 0;                  // the control to give the focus back to on activation
    int lastEditFocus = 0;                 // the last line edit that had the focus
    std::optional<Rgb> editorColour;       // none: the system's text colour
    long editorLines = 0;                  // lines appended since the last clear
    HFONT titleFont = nullptr;
    std::vector<HFONT> fonts;              // every font made here, deleted at the end
    std::function<void(std::string_view)> webRecorder;
};

Desktop& D()
{
    static Desktop desktop;
    return desktop;
}

HINSTANCE Instance()
{
    return GetModuleHandleW(nullptr);
}

std::wstring Wide(std::string_view text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
    std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string Utf8(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
    std::string narrow(
        static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), static_cast<int>(narrow.size()), nullptr, nullptr);
    return narrow;
}

// "\r" is a line break on screen, so "\r\r" shows as a break and an empty line: each one becomes
// the CR LF that every Windows text control breaks at.
std::wstring ShownText(std::string_view text)
{
    const std::wstring wide = Wide(text);
    std::wstring shown;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        shown += wide[i];
        if (wide[i] == L'\r' && (i + 1 == wide.size() || wide[i + 1] != L'\n'))
            shown += L'\n';
    }
    return shown;
}

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void Post(EventKind kind, int number)
{
    D().queue.Post(kind, number);
}

void PostOnce(EventKind kind, int number)
{
    D().queue.PostOnce(kind, number);
}

ControlInfo* Control(int number)
{
    const auto found = D().controls.find(number);
    return found == D().controls.end() ? nullptr : &found->second;
}

HWND ControlHandle(int number)
{
    const ControlInfo* control = Control(number);
    return control ? control->handle : nullptr;
}

// The number of the control behind a window handle; 0 for none.
int ControlNumber(HWND handle)
{
    for (const auto& [number, control] : D().controls)
        if (handle != nullptr && control.handle == handle)
            return number;
    return 0;
}

// --- messages -----------------------------------------------------------------------------

// Hands every waiting message to its window: keyboard navigation (Tab, Shift+Tab, Space on
// buttons) first through the dialog manager of the main window.
void DispatchWaiting()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (D().mainWindow && IsDialogMessageW(D().mainWindow, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Paints, messages sent by the system and the window system's own requests, but no user input
// and no timer: what keeps windows drawn and answering while the program is busy.
constexpr DWORD KeepAliveMessages = QS_PAINT | QS_SENDMESSAGE | QS_POSTMESSAGE;

void DispatchKeepAlive()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | (KeepAliveMessages << 16))) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        DispatchMessageW(&message);
    }
}

// Whether the socket can be read, or written, now (a failed connect counts as ready: the
// caller finds the failure).
bool SocketReadyNow(SOCKET handle, SocketWaitKind kind)
{
    fd_set wanted;
    fd_set failed;
    FD_ZERO(&wanted);
    FD_ZERO(&failed);
    FD_SET(handle, &wanted);
    FD_SET(handle, &failed);
    timeval now{0, 0};
    const bool reading = kind == SocketWaitKind::Readable;
    return select(0, reading ? &wanted : nullptr, reading ? nullptr : &wanted, &failed, &now) != 0;
}

// Every wait for the board passes here (StartDesktop installs it into the socket layer): the
// windows keep being painted and keep answering the window manager, while user input is held
// back and timer ticks only wait (Windows keeps one pending WM_TIMER per timer).
void WaitForSocket(Socket socket, SocketWaitKind kind, std::chrono::milliseconds limit)
{
    static const WSAEVENT networkEvent = WSACreateEvent();
    const auto handle = static_cast<SOCKET>(socket.handle);
    const long events = kind == SocketWaitKind::Readable ? FD_READ | FD_CLOSE : FD_WRITE | FD_CONNECT | FD_CLOSE;
    const bool watching = networkEvent != WSA_INVALID_EVENT && WSAEventSelect(handle, networkEvent, events) == 0;
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        DispatchKeepAlive();
        if (SocketReadyNow(handle, kind))
            break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= std::chrono::milliseconds::zero())
            break;
        const auto slice = std::min(left, SocketLookInterval);
        MsgWaitForMultipleObjectsEx(watching ? 1 : 0, watching ? &networkEvent : nullptr,
                                    static_cast<DWORD>(slice.count()), KeepAliveMessages, 0);
    }
    if (watching) {
        // Cancels the watch; the socket stays non-blocking, as the socket layer keeps it.
        WSAEventSelect(handle, nullptr, 0);
        WSAResetEvent(networkEvent);
    }
    // The input held back reaches the controls now, while they are as the user saw them: a
    // click on a button disabled for the exchange is lost, typed text lands in its field.
    DispatchWaiting();
}

struct ModalScope {
    ModalScope() { ++D().modalDepth; }
    ~ModalScope() { --D().modalDepth; }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
};

void OnTimer(UINT_PTR number)
{
    const Desktop& d = D();
    if (d.timers.contains(static_cast<int>(number)) && d.modalDepth == 0 && !d.moving && !d.inMenu)
        PostOnce(EventKind::Timer, static_cast<int>(number));
}

// --- fonts ----------------------------------------------------------------------------------

HFONT GuiFont()
{
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

int ScreenDpiY()
{
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

HFONT KeepFont(HFONT font)
{
    if (font)
        D().fonts.push_back(font);
    return font;
}

HFONT MakeFont(FontSpec wanted)
{
    LOGFONTW font{};
    font.lfHeight = -MulDiv(wanted.points, ScreenDpiY(), 72);
    font.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    const std::wstring face = Wide(wanted.face);
    face.copy(font.lfFaceName, LF_FACESIZE - 1);
    return KeepFont(CreateFontIndirectW(&font));
}

// The same font at another character height, in pixels; the caller owns it.
HFONT ResizedFont(HFONT font, int pixels)
{
    LOGFONTW shape{};
    GetObjectW(font, sizeof shape, &shape);
    shape.lfHeight = -pixels;
    shape.lfWidth = 0;
    return CreateFontIndirectW(&shape);
}

int FontPixels(HDC context, HFONT font)
{
    const HGDIOBJ previous = SelectObject(context, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(context, &metrics);
    SelectObject(context, previous);
    return metrics.tmHeight - metrics.tmInternalLeading;
}

// The area a text needs: every line on its own (wrap false), or broken at words to `width`.
SIZE TextArea(HDC context, HFONT font, const std::wstring& text, int width, bool wrap)
{
    const HGDIOBJ previous = SelectObject(context, font);
    RECT area{0, 0, width, 0};
    DrawTextW(context, text.c_str(), static_cast<int>(text.size()), &area,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (wrap ? DT_WORDBREAK : 0));
    SelectObject(context, previous);
    return {area.right - area.left, area.bottom - area.top};
}

// The font, at the largest whole-pixel size from its own down to the floor, in which the text
// fits the box: every line whole first, broken at words only where that cannot be had. Where
// nothing fits, the floor.
HFONT FittedFont(HFONT wanted, const std::wstring& text, SIZE box, bool mayWrap)
{
    HDC context = GetDC(nullptr);
    if (!context)
        return wanted;
    const int largest = FontPixels(context, wanted);
    HFONT chosen = nullptr;
    for (const bool wrap : {false, true}) {
        if (wrap && !mayWrap)
            break;
        for (int pixels = largest; !chosen && pixels >= SmallestFontPixels; --pixels) {
            HFONT candidate = pixels == largest ? wanted : ResizedFont(wanted, pixels);
            const SIZE needed = TextArea(context, candidate, text, box.cx, wrap);
            if (needed.cx <= box.cx && needed.cy <= box.cy)
                chosen = candidate;
            else if (candidate != wanted)
                DeleteObject(candidate);
        }
    }
    ReleaseDC(nullptr, context);
    if (!chosen)
        chosen = largest > SmallestFontPixels ? ResizedFont(wanted, SmallestFontPixels) : wanted;
    return chosen == wanted ? wanted : KeepFont(chosen);
}

// The box a control's text is drawn in.
SIZE TextBox(ControlKind kind, const RECT& place)
{
    SIZE box{place.right - place.left, place.bottom - place.top};
    if (kind == ControlKind::Button || kind == ControlKind::Toggle) {
        box.cx -= 2 * (GetSystemMetrics(SM_CXEDGE) + ButtonTextMargin);
        box.cy -= 2 * GetSystemMetrics(SM_CYEDGE);
    }
    return box;
}

// Gives a control showing one line of text the largest font, at most `wanted`, in which its
// text fits.
void FitTextToControl(HWND control, ControlKind kind, const RECT& place, HFONT wanted)
{
    const HFONT font = FittedFont(wanted, WindowText(control), TextBox(kind, place), false);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

// --- windows --------------------------------------------------------------------------------

SIZE ScreenSize()
{
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// The outer size of a window with the given client size and styles.
SIZE OuterSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle)
{
    RECT outer{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

// Where a window of that outer size stands centred on the whole primary screen (the taskbar is
// ignored).
POINT CentredOnScreen(SIZE outer)
{
    const SIZE screen = ScreenSize();
    return {(screen.cx - outer.cx) / 2, (screen.cy - outer.cy) / 2};
}

// Shows the window in front and paints it now; then lets the window system map it and draw it
// (bounded), since the caller may block right after.
void ShowAndPaint(HWND window)
{
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    UpdateWindow(window);
    const Clock::time_point until = Clock::now() + ExposeWait;
    for (auto left = ExposeWait; left > std::chrono::milliseconds::zero();
         left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now())) {
        DispatchKeepAlive();
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), KeepAliveMessages, 0);
    }
    DispatchKeepAlive();
}

HWND CreateChild(HWND parent, const wchar_t* windowClass, const std::wstring& text, DWORD style, DWORD exStyle,
                 const RECT& place, int id)
{
    return CreateWindowExW(exStyle, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, place.left, place.top,
                           place.right - place.left, place.bottom - place.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
}

void AddTooltip(HWND control, const std::wstring& text)
{
    Desktop& d = D();
    if (!d.tooltips || text.empty())
        return;
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = d.mainWindow;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());   // copied by the tooltip control
    SendMessageW(d.tooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void RemoveTooltip(HWND control)
{
    Desktop& d = D();
    if (!d.tooltips)
        return;
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = d.mainWindow;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    SendMessageW(d.tooltips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// The output: the dialog manager may move the focus out of it with Tab, although a multi-line
// rich edit asks for every key.
LRESULT CALLBACK OutputEditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_GETDLGCODE) {
        LRESULT code = DefSubclassProc(window, message, wParam, lParam);
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        if (key && key->message == WM_KEYDOWN && key->wParam == VK_TAB)
            code &= ~(DLGC_WANTTAB | DLGC_WANTMESSAGE | DLGC_WANTALLKEYS);
        return code;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

// Gives the editor the colour for all of its text, and for text added later, on white.
void ApplyColour(HWND editor, Rgb colour)
{
    SendMessageW(editor, EM_SETBKGNDCOLOR, 0, RGB(255, 255, 255));
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = RGB(colour.red, colour.green, colour.blue);
    SendMessageW(editor, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    SendMessageW(editor, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

HWND CreateOutputEditor(HWND parent, int number, const RECT& place)
{
    HWND editor = CreateChild(parent, RICHEDIT_CLASSW, L"",
                              WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL
                                  | ES_AUTOHSCROLL,
                              WS_EX_CLIENTEDGE, place, number);
    if (!editor)
        return nullptr;
    SendMessageW(editor, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), FALSE);
    SendMessageW(editor, EM_EXLIMITTEXT, 0, LONG_MAX);
    SendMessageW(editor, EM_SETTARGETDEVICE, 0, 1);   // no wrap
    // Undo steps of hours of polling would pile up in memory.
    SendMessageW(editor, EM_SETUNDOLIMIT, 0, 0);
    SetWindowSubclass(editor, OutputEditorProc, 0, 0);
    if (D().editorColour)
        ApplyColour(editor, *D().editorColour);
    return editor;
}

HWND CreateControl(HWND parent, int number, ControlInfo& control, std::string_view text, HFONT titleFont)
{
    const std::wstring wide = Wide(text);
    HWND handle = nullptr;
    switch (control.kind) {
    case ControlKind::TitleText:
        handle = CreateChild(parent, L"STATIC", wide, SS_CENTER | SS_NOPREFIX, 0, control.place, number);
        break;
    case ControlKind::LineEdit:
        handle = CreateChild(parent, L"EDIT", wide, WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE,
                             control.place, number);
        break;
    case ControlKind::Button:
        handle = CreateChild(parent, L"BUTTON", wide, WS_TABSTOP | BS_PUSHBUTTON, 0, control.place, number);
        break;
    case ControlKind::Toggle:
        handle = CreateChild(parent, L"BUTTON", wide, WS_TABSTOP | BS_AUTOCHECKBOX | BS_PUSHLIKE, 0, control.place,
                             number);
        break;
    case ControlKind::OutputEditor:
        handle = CreateOutputEditor(parent, number, control.place);
        break;
    }
    control.handle = handle;
    if (!handle)
        return nullptr;
    if (control.kind == ControlKind::TitleText)
        FitTextToControl(handle, control.kind, control.place, titleFont);
    else if (control.kind == ControlKind::Button || control.kind == ControlKind::Toggle)
        FitTextToControl(handle, control.kind, control.place, GuiFont());
    else if (control.kind == ControlKind::LineEdit)
        SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), FALSE);
    AddTooltip(handle, control.tooltip);
    return handle;
}

// What a screen reader calls a field: the static text right before it in the window's order,
// which here is a label that is never shown.
void AddAccessibleLabel(HWND parent, std::string_view name, const RECT& place)
{
    if (name.empty())
        return;
    HWND label = CreateWindowExW(0, L"STATIC", Wide(name).c_str(), WS_CHILD | SS_NOPREFIX, place.left, place.top, 0,
                                 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(-1)), Instance(), nullptr);
    if (label)
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), FALSE);
}

// The dialog manager marks a push button reached by Tab as the default one; none is, once the
// focus is in a field again (Enter there does nothing).
void ClearDefaultButtonLook()
{
    for (const auto& [number, control] : D().controls)
        if (control.kind == ControlKind::Button && (GetWindowLongW(control.handle, GWL_STYLE) & BS_DEFPUSHBUTTON))
            SendMessageW(control.handle, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
}

// The control events of WM_COMMAND, as the control-event table says.
void OnControlCommand(int number, int code, HWND from)
{
    Desktop& d = D();
    const ControlInfo* control = Control(number);
    if (!control || control->handle != from)
        return;
    switch (control->kind) {
    case ControlKind::Button:
        // A button's further clicks before its first is handled add nothing.
        if (code == BN_CLICKED)
            PostOnce(EventKind::Control, number);
        break;
    case ControlKind::Toggle:
        // Each click changes its state, so each counts.
        if (code == BN_CLICKED)
            Post(EventKind::Control, number);
        break;
    case ControlKind::LineEdit:
        if (code == EN_SETFOCUS) {
            d.lastEditFocus = number;
            ClearDefaultButtonLook();
        }
        // EN_CHANGE also comes when the program sets the text: only the user's edits count.
        if ((code == EN_CHANGE && !d.settingText) || code == EN_SETFOCUS || code == EN_KILLFOCUS)
            Post(EventKind::Control, number);
        break;
    case ControlKind::OutputEditor:
        if (code == EN_SETFOCUS)
            ClearDefaultButtonLook();
        if ((code == EN_SETFOCUS || code == EN_KILLFOCUS) && !d.replacingEditor)
            Post(EventKind::Control, number);
        break;
    case ControlKind::TitleText:
        break;
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Desktop& d = D();
    switch (message) {
    case WM_COMMAND:
        if (lParam != 0)
            OnControlCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_ENTERSIZEMOVE:
        d.moving = true;
        break;
    case WM_EXITSIZEMOVE:
        d.moving = false;
        break;
    case WM_ENTERMENULOOP:
        d.inMenu = true;
        break;
    case WM_EXITMENULOOP:
        d.inMenu = false;
        break;
    case WM_CLOSE:
        // Only an event: the program's loop decides what happens.
        Post(EventKind::Close, 0);
        return 0;
    case WM_ACTIVATE:
        // The focus goes back to the control that had it when the window was left.
        if (LOWORD(wParam) == WA_INACTIVE) {
            if (const int focused = ControlNumber(GetFocus()))
                d.focusControl = focused;
        } else if (!HIWORD(wParam)) {
            if (HWND control = ControlHandle(d.focusControl); control && IsWindowEnabled(control)) {
                SetFocus(control);
                return 0;
            }
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Timers run here while there is no main window.
LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER) {
        OnTimer(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ConnectWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE)
        return 0;   // it goes when the connect is over
    return DefWindowProcW(window, message, wParam, lParam);
}

// --- the input dialog -----------------------------------------------------------------------

struct InputDialogState {
    HWND edit = nullptr;
    bool done = false;
    bool accepted = false;
};

LRESULT CALLBACK InputDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<InputDialogState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_COMMAND:
        if (state && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            state->accepted = LOWORD(wParam) == IDOK;
            state->done = true;
        }
        return 0;
    case WM_CLOSE:
        if (state)
            state->done = true;
        return 0;
    case WM_ACTIVATE:
        // Activated, it gives the keyboard to the field, not to itself.
        if (state && LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) {
            SetFocus(state->edit);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The program's other windows are disabled while a dialog of its own is open; returns them.
std::vector<HWND> DisableOtherWindows(HWND dialog)
{
    std::vector<HWND> disabled;
    for (HWND window : {D().mainWindow, D().connectWindow})
        if (window && window != dialog && IsWindowEnabled(window)) {
            EnableWindow(window, FALSE);
            disabled.push_back(window);
        }
    return disabled;
}

// --- registration -----------------------------------------------------------------------------

void RegisterClasses()
{
    const HICON bigIcon = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(ProgramIconResource), IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    const HICON smallIcon = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(ProgramIconResource),
                                                          IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                          GetSystemMetrics(SM_CYSMICON), 0));
    const auto add = [&](const wchar_t* name, WNDPROC procedure) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = Instance();
        windowClass.hIcon = bigIcon;
        windowClass.hIconSm = smallIcon;
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));   // IDC_ARROW
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        windowClass.lpszClassName = name;
        RegisterClassExW(&windowClass);
    };
    add(MainWindowClass, MainWindowProc);
    add(ConnectWindowClass, ConnectWindowProc);
    add(InputDialogClass, InputDialogProc);
    add(MessageWindowClass, MessageWindowProc);
}

}  // namespace

void StartDesktop()
{
    SetSocketWaitFunction(WaitForSocket);
    static bool started = false;
    Desktop& d = D();
    if (!started) {
        started = true;
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        // The output control's class comes with its library; kept for the life of the process.
        LoadLibraryW(L"riched20.dll");
        // The shell may hand an address to a handler that needs COM.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        RegisterClasses();
    }
    if (!d.messageWindow)
        d.messageWindow = CreateWindowExW(0, MessageWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          Instance(), nullptr);
}

void EndDesktop()
{
    Desktop& d = D();
    for (const auto& [number, window] : d.timers)
        KillTimer(window, static_cast<UINT_PTR>(number));
    d.timers.clear();
    d.controls.clear();
    if (d.mainWindow)
        DestroyWindow(d.mainWindow);   // its controls and tooltips with it
    d.mainWindow = nullptr;
    d.tooltips = nullptr;
    if (d.connectWindow)
        DestroyWindow(d.connectWindow);
    d.connectWindow = nullptr;
    if (d.messageWindow)
        DestroyWindow(d.messageWindow);
    d.messageWindow = nullptr;
    for (HFONT font : d.fonts)
        DeleteObject(font);
    d.fonts.clear();
    d.titleFont = nullptr;
    d.queue.Clear();
    d.editorColour.reset();
    d.editorLines = 0;
    d.focusControl = 0;
    d.lastEditFocus = 0;
    d.moving = d.inMenu = false;
}

std::string InputDialog(std::string_view title, std::string_view prompt, std::string_view preset)
{
    StartDesktop();
    constexpr DWORD style = WS_POPUP | WS_CAPTION;   // a caption without system menu or close box
    constexpr DWORD exStyle = WS_EX_DLGMODALFRAME;
    const POINT at = CentredOnScreen(InputDialogSize);
    // Owned by the main window where there is one, so that it gets the activation back afterwards.
    HWND dialog = CreateWindowExW(exStyle, InputDialogClass, Wide(title).c_str(), style, at.x, at.y,
                                  InputDialogSize.cx, InputDialogSize.cy, D().mainWindow, nullptr, Instance(), nullptr);
    if (!dialog)
        return {};
    InputDialogState state;
    SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));

    const auto make = [&](const wchar_t* windowClass, const std::wstring& text, DWORD childStyle, DWORD childExStyle,
                          RECT place, int id) {
        HWND child = CreateChild(dialog, windowClass, text, childStyle, childExStyle, place, id);
        if (child)
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), FALSE);
        return child;
    };
    // The prompt names the field for a screen reader too, as the static text right before it.
    const RECT promptPlace{10, 10, 290, 32};
    HWND label = make(L"STATIC", Wide(prompt), SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX, 0, promptPlace, -1);
    if (label)
        FitTextToControl(label, ControlKind::TitleText, promptPlace, GuiFont());
    state.edit = make(L"EDIT", Wide(preset), WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE,
                      {10, 32, 285, 53}, 100);
    make(L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, {110, 67, 190, 92}, IDOK);
    // The caret after the preset, nothing selected.
    const auto length = static_cast<WPARAM>(GetWindowTextLengthW(state.edit));
    SendMessageW(state.edit, EM_SETSEL, length, static_cast<LPARAM>(length));

    ModalScope modal;
    const std::vector<HWND> disabled = DisableOtherWindows(dialog);
    ShowWindow(dialog, SW_SHOWNORMAL);
    SetForegroundWindow(dialog);
    SetFocus(state.edit);
    MSG message;
    while (!state.done) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got < 0)
            break;
        if (!IsDialogMessageW(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    const std::string answer = state.accepted ? Utf8(WindowText(state.edit)) : std::string();
    // The owner first, so that the activation goes back to it.
    for (HWND window : disabled)
        EnableWindow(window, TRUE);
    SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
    DestroyWindow(dialog);
    return answer;
}

void MessageDialog(std::string_view title, std::string_view text)
{
    StartDesktop();
    HWND owner = D().mainWindow;
    ModalScope modal;
    // Without a main window it holds back the program's other windows as well.
    MessageBoxW(owner, ShownText(text).c_str(), Wide(title).c_str(),
                MB_OK | MB_SETFOREGROUND | (owner ? 0 : MB_TASKMODAL));
}

void OpenConnectWindow(std::string_view title, std::string_view text)
{
    StartDesktop();
    CloseConnectWindow();
    // A caption without system menu or boxes, and a fixed frame.
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION;
    constexpr int clientWidth = 250;
    constexpr int clientHeight = 90;
    const SIZE outer = OuterSize(clientWidth, clientHeight, style, 0);
    const POINT at = CentredOnScreen(outer);
    HWND window = CreateWindowExW(0, ConnectWindowClass, Wide(title).c_str(), style, at.x, at.y, outer.cx, outer.cy,
                                  nullptr, nullptr, Instance(), nullptr);
    if (!window)
        return;
    D().connectWindow = window;
    const RECT place{10, 10, 240, 80};
    const std::wstring shown = ShownText(text);
    HWND label = CreateChild(window, L"STATIC", shown, SS_LEFT | SS_NOPREFIX, 0, place, -1);
    if (label) {
        const HFONT font = FittedFont(GuiFont(), shown, {place.right - place.left, place.bottom - place.top}, true);
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    ShowAndPaint(window);
}

void CloseConnectWindow()
{
    if (D().connectWindow)
        DestroyWindow(D().connectWindow);
    D().connectWindow = nullptr;
    DispatchKeepAlive();
}

bool OpenMainWindow(std::string_view title, int clientWidth, int clientHeight, FontSpec titleFont,
                    std::span<const ControlSpec> controls)
{
    StartDesktop();
    Desktop& d = D();
    // Caption, system menu, close and minimise box, no maximise box, a fixed frame. Controls
    // are left out of the background's painting, so they do not flicker.
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    const SIZE outer = OuterSize(clientWidth, clientHeight, style, 0);
    const POINT at = CentredOnScreen(outer);
    HWND window = CreateWindowExW(0, MainWindowClass, Wide(title).c_str(), style, at.x, at.y, outer.cx, outer.cy,
                                  nullptr, nullptr, Instance(), nullptr);
    if (!window)
        return false;
    d.mainWindow = window;
    d.editorColour.reset();
    d.editorLines = 0;
    d.focusControl = 0;
    // Tips show also while the window is not in front.
    d.tooltips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                                 Instance(), nullptr);
    d.titleFont = MakeFont(titleFont);
    // Created in the table's order: the window's order of its children is the keyboard order.
    for (const ControlSpec& row : controls) {
        ControlInfo control;
        control.kind = row.kind;
        control.place = {row.left, row.top, row.left + row.width, row.top + row.height};
        control.tooltip = Wide(row.tooltip);
        AddAccessibleLabel(window, row.accessibleName, control.place);
        CreateControl(window, row.number, control, row.text, d.titleFont);
        d.controls[row.number] = control;
    }
    // Focus rectangles show once the keyboard is used.
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
    ShowAndPaint(window);
    return true;
}

void StartTimer(int number, std::chrono::milliseconds period)
{
    StartDesktop();
    Desktop& d = D();
    if (const auto running = d.timers.find(number); running != d.timers.end())
        KillTimer(running->second, static_cast<UINT_PTR>(number));
    HWND owner = d.mainWindow ? d.mainWindow : d.messageWindow;
    SetTimer(owner, static_cast<UINT_PTR>(number), static_cast<UINT>(period.count()), nullptr);
    d.timers[number] = owner;
}

Event WaitWindowEvent(std::chrono::milliseconds limit)
{
    Desktop& d = D();
    const Clock::time_point deadline = Clock::now() + limit;
    DispatchWaiting();
    while (d.queue.Empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= std::chrono::milliseconds::zero())
            break;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        DispatchWaiting();
    }
    return d.queue.Take();
}

std::string GetText(int control)
{
    HWND handle = ControlHandle(control);
    if (!handle)
        return {};
    std::wstring text = WindowText(handle);
    // The output's lines end in CR LF; the program sees one line break.
    std::erase(text, L'\r');
    return Utf8(text);
}

// The text the control holds already is not set again: that would move the caret and tell a
// screen reader of a change on every poll.
void SetText(int control, std::string_view text)
{
    const ControlInfo* info = Control(control);
    if (!info || info->kind == ControlKind::OutputEditor)
        return;
    const std::wstring wanted = Wide(text);
    if (WindowText(info->handle) == wanted)
        return;
    Desktop& d = D();
    d.settingText = true;
    SetWindowTextW(info->handle, wanted.c_str());
    d.settingText = false;
    if (info->kind == ControlKind::LineEdit) {
        // The caret after the text, as after typing it.
        const auto length = static_cast<WPARAM>(wanted.size());
        SendMessageW(info->handle, EM_SETSEL, length, static_cast<LPARAM>(length));
    } else {
        FitTextToControl(info->handle, info->kind, info->place,
                         info->kind == ControlKind::TitleText ? d.titleFont : GuiFont());
    }
}

void SetEnabled(int control, bool enabled)
{
    HWND handle = ControlHandle(control);
    if (!handle)
        return;
    // A control loses the focus when it is disabled; the focus then goes back to the field the
    // user typed in last, so that typing goes on there.
    const bool hadFocus = !enabled && GetFocus() == handle;
    EnableWindow(handle, enabled);
    if (hadFocus)
        if (HWND field = ControlHandle(D().lastEditFocus); field && IsWindowEnabled(field))
            SetFocus(field);
}

bool IsEnabled(int control)
{
    HWND handle = ControlHandle(control);
    return handle && IsWindowEnabled(handle);
}

void Focus(int control)
{
    if (HWND handle = ControlHandle(control)) {
        SetFocus(handle);
        D().focusControl = control;
    }
}

bool IsPressed(int toggle)
{
    HWND handle = ControlHandle(toggle);
    return handle && SendMessageW(handle, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Release(int toggle)
{
    if (HWND handle = ControlHandle(toggle))
        SendMessageW(handle, BM_SETCHECK, BST_UNCHECKED, 0);
}

// Emptying a large rich edit takes time that grows with the square of its length, however it
// is done: the control is replaced by a fresh one in the same place instead, at a cost that
// does not grow with the text.
void ClearOutput(int editor)
{
    Desktop& d = D();
    ControlInfo* control = Control(editor);
    if (!control || control->kind != ControlKind::OutputEditor || !d.mainWindow)
        return;
    HWND old = control->handle;
    HWND fresh = CreateOutputEditor(d.mainWindow, editor, control->place);
    if (!fresh)
        return;
    const bool hadFocus = GetFocus() == old;
    d.replacingEditor = true;
    // Into the old one's place in the keyboard order, then shown instead of it.
    SetWindowPos(fresh, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EnableWindow(fresh, IsWindowEnabled(old));
    if (hadFocus)
        SetFocus(fresh);
    RemoveTooltip(old);
    control->handle = fresh;
    DestroyWindow(old);
    d.replacingEditor = false;
    AddTooltip(fresh, control->tooltip);
    d.editorLines = 0;
}

namespace {

// Whether the editor shows its last line: all its text fits, or it is scrolled to the end.
bool ViewAtBottom(HWND editor)
{
    if (!(GetWindowLongW(editor, GWL_STYLE) & WS_VSCROLL))
        return true;
    SCROLLINFO vertical{};
    vertical.cbSize = sizeof vertical;
    vertical.fMask = SIF_ALL;
    return !GetScrollInfo(editor, SB_VERT, &vertical) || vertical.nPage == 0
           || vertical.nPos + static_cast<int>(vertical.nPage) >= vertical.nMax;
}

}  // namespace

void AppendLine(int editor, std::string_view line)
{
    const ControlInfo* control = Control(editor);
    if (!control || control->kind != ControlKind::OutputEditor)
        return;
    HWND handle = control->handle;
    // Counted, not read from the text: an empty first line still makes the next one the second.
    const bool lineBreak = D().editorLines++ > 0;
    const std::wstring text = (lineBreak ? L"\r" : L"") + Wide(line);

    GETTEXTLENGTHEX measure{GTL_NUMCHARS, 1200};   // character positions, UTF-16
    const auto end = static_cast<LONG>(SendMessageW(handle, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&measure), 0));
    const bool atBottom = ViewAtBottom(handle);
    CHARRANGE selection{};
    POINT view{};
    if (!atBottom) {
        SendMessageW(handle, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        SendMessageW(handle, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&view));
    }
    // Each step below would scroll and paint on its own.
    SendMessageW(handle, WM_SETREDRAW, FALSE, 0);
    CHARRANGE at{end, end};
    SendMessageW(handle, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&at));
    SendMessageW(handle, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    if (atBottom) {
        // The caret at the start of the new line: the view follows it down and stays at the
        // left edge, however long the line.
        const LONG lineStart = end + (lineBreak ? 1 : 0);
        at = {lineStart, lineStart};
        SendMessageW(handle, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&at));
    } else {
        // Scrolled up by the user: selection and view stay where they were.
        SendMessageW(handle, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        SendMessageW(handle, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&view));
    }
    SendMessageW(handle, WM_SETREDRAW, TRUE, 0);
    // Painted once for the whole change, scroll bars included.
    RedrawWindow(handle, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
}

void SetTextColour(int editor, Rgb colour)
{
    const ControlInfo* control = Control(editor);
    // Recolouring costs time with every line: an unchanged colour costs nothing.
    if (!control || control->kind != ControlKind::OutputEditor || D().editorColour == colour)
        return;
    ApplyColour(control->handle, colour);
    D().editorColour = colour;
}

void ShowFirstLine(int editor)
{
    const ControlInfo* control = Control(editor);
    if (!control || control->kind != ControlKind::OutputEditor)
        return;
    CHARRANGE start{0, 0};
    SendMessageW(control->handle, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
    POINT topLeft{0, 0};
    SendMessageW(control->handle, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&topLeft));
}

void OpenWebAddress(std::string_view address)
{
    if (D().webRecorder) {
        D().webRecorder(address);
        return;
    }
    StartDesktop();
    const std::wstring target = Wide(address);
    SHELLEXECUTEINFOW run{};
    run.cbSize = sizeof run;
    // Not waited for; but the hand-over itself completes before this returns, since the program
    // may end right after.
    run.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    run.hwnd = D().mainWindow;
    run.lpVerb = L"open";
    run.lpFile = target.c_str();
    run.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&run);
}

void SetWebAddressRecorder(std::function<void(std::string_view)> recorder)
{
    D().webRecorder = std::move(recorder);
}

void PauseFor(std::chrono::milliseconds span)
{
    // The system's timer otherwise ticks every 15.6 ms, which a 100 ms wait would overshoot.
    timeBeginPeriod(1);
    Sleep(static_cast<DWORD>(span.count()));
    timeEndPeriod(1);
}
