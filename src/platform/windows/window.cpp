// The desktop over Win32: the main window and its controls by number, one queue of events for
// the program's loop, window timers, the clipboard and the shell's default action for web
// addresses. Text crosses into Windows as UTF-16 through the W functions. The session's start and
// end and the wait for the board are in session.cpp, dialogs in dialogs.cpp, fonts in fonts.cpp,
// the output control in output.cpp.
#include "platform/windows/desktop.h"

#include <commctrl.h>
#include <mmsystem.h>
#include <shellapi.h>

#include "platform/audio.h"
#include "platform/shared/program_actions.h"
#include "platform/shared/web_recorder.h"
#include "utils/timing.h"

#include <algorithm>
#include <climits>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int ProgramIconResource = 1;   // in skarvel.rc

// The number of the control behind a window handle; 0 for none.
int ControlNumber(HWND handle)
{
    for (const auto& [number, control] : TheDesktop().controls)
        if (handle != nullptr && control.handle == handle)
            return number;
    return 0;
}

// --- messages -----------------------------------------------------------------------------

// An F key the program took (SetFunctionKey), pressed in a window of the program's that is not
// held by a modal dialog, raises its command.
bool OnFunctionKey(HWND window, WPARAM key)
{
    const std::optional<int> command =
        key >= VK_F1 && key <= VK_F24 ? FunctionKeyAction(static_cast<int>(key) - VK_F1 + 1) : std::nullopt;
    if (!command || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0 || GetKeyState(VK_SHIFT) < 0)
        return false;
    const HWND root = GetAncestor(window, GA_ROOT);
    if (root != TheDesktop().mainWindow && root != TheDesktop().tableWindow)
        return false;
    WindowEvents().PostOnce(EventKind::Action, *command);
    return true;
}

void OnTimer(UINT_PTR number)
{
    Desktop& d = TheDesktop();
    if (d.timers.contains(static_cast<int>(number)))
        WindowEvents().PostTick(static_cast<int>(number), d.moving || d.inMenu);
}

// --- windows --------------------------------------------------------------------------------

// Up and Down in a field go to the program (its command history); a single-line edit would only
// move its caret with them.
LRESULT CALLBACK LineEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR number, DWORD_PTR)
{
    if (message == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN) && GetKeyState(VK_CONTROL) >= 0
        && GetKeyState(VK_MENU) >= 0 && GetKeyState(VK_SHIFT) >= 0) {
        WindowEvents().PostKey(static_cast<int>(number), wParam == VK_UP ? Key::Up : Key::Down);
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

SIZE ScreenSize()
{
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// Gives a control its font for the dpi: the title and the buttons the largest, at most their
// own, in which their text fits.
void ApplyFont(const ControlInfo& control, int dpi)
{
    const RECT place = ScaledPlace(control.place, dpi);
    switch (control.kind) {
    case ControlKind::TitleText:
        FitTextToControl(control.handle, control.kind, place, MakeFont(TheDesktop().titleFont, dpi), dpi);
        break;
    case ControlKind::Button:
    case ControlKind::Toggle:
        FitTextToControl(control.handle, control.kind, place, GuiFont(dpi), dpi);
        break;
    case ControlKind::LineEdit:
    case ControlKind::OutputEditor:
        SendMessageW(control.handle, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont(dpi)), TRUE);
        break;
    }
}

HWND CreateControl(HWND parent, int number, ControlInfo& control, std::string_view text, int dpi)
{
    const std::wstring wide = Wide(text);
    const RECT place = ScaledPlace(control.place, dpi);
    HWND handle = nullptr;
    switch (control.kind) {
    case ControlKind::TitleText:
        handle = CreateChild(parent, L"STATIC", wide, SS_CENTER | SS_NOPREFIX, 0, place, number);
        break;
    case ControlKind::LineEdit:
        handle = CreateChild(parent, L"EDIT", wide, WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE, place,
                             number);
        if (handle)
            SetWindowSubclass(handle, LineEditProc, static_cast<UINT_PTR>(number), 0);
        break;
    case ControlKind::Button:
        handle = CreateChild(parent, L"BUTTON", wide, WS_TABSTOP | BS_PUSHBUTTON, 0, place, number);
        break;
    case ControlKind::Toggle:
        handle = CreateChild(parent, L"BUTTON", wide, WS_TABSTOP | BS_AUTOCHECKBOX | BS_PUSHLIKE, 0, place, number);
        break;
    case ControlKind::OutputEditor:
        handle = CreateOutputEditor(parent, number, place, control.accessibleName);
        break;
    }
    control.handle = handle;
    if (!handle)
        return nullptr;
    ApplyFont(control, dpi);
    AddTooltip(handle, control.tooltip);
    return handle;
}

// What a screen reader calls a field: the static text right before it in the window's order,
// which here is a label that is never shown.
void AddAccessibleLabel(HWND parent, std::string_view name, const RECT& place)
{
    if (name.empty())
        return;
    CreateWindowExW(0, L"STATIC", Wide(name).c_str(), WS_CHILD | SS_NOPREFIX, place.left, place.top, 0, 0, parent,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(-1)), Instance(), nullptr);
}

// The dialog manager marks a push button reached by Tab as the default one; none is, once the
// focus is in a field again (Enter there does nothing).
void ClearDefaultButtonLook()
{
    for (const auto& [number, control] : TheDesktop().controls)
        if (control.kind == ControlKind::Button && (GetWindowLongW(control.handle, GWL_STYLE) & BS_DEFPUSHBUTTON))
            SendMessageW(control.handle, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
}

// The click's stream is suspended once the program has gone AudioSuspendDelay without input, in front or
// not. Its timer sits beside the program's, which take control numbers, and checks again once
// that time has passed since the last input; a click started without any (a screen reader's
// press) keeps the stream awake until the next check.
constexpr UINT_PTR AudioSuspendTimer = 0xA0D10;
Clock::time_point LastInput = Clock::now();

void SuspendAudioAfter(HWND window, Clock::duration wait)
{
    const auto due = std::chrono::ceil<std::chrono::milliseconds>(wait);
    SetTimer(window, AudioSuspendTimer, static_cast<UINT>(std::max(due.count(), std::chrono::milliseconds::rep{1})), nullptr);
}

void OnAudioSuspendTimer(HWND window)
{
    const Clock::duration quiet = Clock::now() - LastInput;
    if (quiet < AudioSuspendDelay) {
        SuspendAudioAfter(window, AudioSuspendDelay - quiet);
        return;
    }
    SuspendAudio();
    SuspendAudioAfter(window, AudioSuspendDelay);
}

// The control events of WM_COMMAND, as the control-event table says.
void OnControlNotification(int number, int code, HWND from)
{
    Desktop& d = TheDesktop();
    const ControlInfo* control = Control(number);
    if (!control || control->handle != from)
        return;
    switch (control->kind) {
    case ControlKind::Button:
        // A button's further clicks before its first is handled add nothing.
        if (code == BN_CLICKED)
            WindowEvents().PostOnce(EventKind::Control, number);
        break;
    case ControlKind::Toggle:
        // Each click changes its state, so each counts.
        if (code == BN_CLICKED)
            WindowEvents().Post(EventKind::Control, number);
        break;
    case ControlKind::LineEdit:
        if (code == EN_SETFOCUS) {
            d.lastEditFocus = number;
            ClearDefaultButtonLook();
        }
        // EN_CHANGE also comes when the program sets the text: only the user's edits count.
        if ((code == EN_CHANGE && !d.settingText) || code == EN_SETFOCUS || code == EN_KILLFOCUS)
            WindowEvents().Post(EventKind::Control, number);
        break;
    case ControlKind::OutputEditor:
        if (code == EN_SETFOCUS)
            ClearDefaultButtonLook();
        if (code == EN_SETFOCUS || code == EN_KILLFOCUS)
            WindowEvents().Post(EventKind::Control, number);
        break;
    case ControlKind::TitleText:
        break;
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Desktop& d = TheDesktop();
    switch (message) {
    case WM_COMMAND:
        if (lParam != 0)
            OnControlNotification(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_TIMER:
        if (wParam == AudioSuspendTimer)
            OnAudioSuspendTimer(window);
        else
            OnTimer(wParam);
        return 0;
    case WM_ACTIVATEAPP:
        if (wParam)
            NoteUserInput();
        break;
    case WM_SETCURSOR:
        // The pointer over the window or one of its controls (the output tells of itself).
        NoteUserInput();
        break;
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
        WindowEvents().Post(EventKind::Close, 0);
        return 0;
    case WM_DPICHANGED: {
        // Moved to a monitor of another dpi, or the scaling changed: the rectangle Windows
        // suggests, and every control placed and given its fonts anew; the output keeps its lines.
        d.dpi = LOWORD(wParam);
        d.layoutDpi[window] = d.dpi;
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        if (suggested)
            SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        for (const auto& [number, control] : d.controls) {
            const RECT place = ScaledPlace(control.place, d.dpi);
            SetWindowPos(control.handle, nullptr, place.left, place.top, place.right - place.left,
                         place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
            ApplyFont(control, d.dpi);
        }
        SendMessageW(d.tooltips, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont(d.dpi)), TRUE);
        return 0;
    }
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

}  // namespace

Desktop& TheDesktop()
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

ControlInfo* Control(int number)
{
    const auto found = TheDesktop().controls.find(number);
    return found == TheDesktop().controls.end() ? nullptr : &found->second;
}

HWND ControlHandle(int number)
{
    const ControlInfo* control = Control(number);
    return control ? control->handle : nullptr;
}

void NoteUserInput()
{
    LastInput = Clock::now();
    if (TheDesktop().mainWindow)
        ResumeAudio();
}

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
        if ((message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) || message.message == WM_MOUSEWHEEL)
            NoteUserInput();
        if (message.message == WM_KEYDOWN && OnFunctionKey(message.hwnd, message.wParam))
            continue;
        if (TheDesktop().mainWindow && IsDialogMessageW(TheDesktop().mainWindow, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

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
    const Clock::time_point until = Clock::now() + ShowSettleTime;
    for (auto left = ShowSettleTime; left > std::chrono::milliseconds::zero();
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
    Desktop& d = TheDesktop();
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
    add(TableWindowClass, TableWindowProc);
}

bool OpenMainWindow(std::string_view title, int clientWidth, int clientHeight, FontSpec titleFont,
                    std::span<const ControlSpec> controls)
{
    StartDesktop();
    Desktop& d = TheDesktop();
    // Caption, system menu, close and minimise box, no maximise box, a fixed frame. Controls
    // are left out of the background's painting, so they do not flicker.
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    // Made on the primary monitor, whose dpi it then takes, and only then sized and centred.
    HWND window = CreateWindowExW(0, MainWindowClass, Wide(title).c_str(), style, 0, 0, clientWidth, clientHeight,
                                  nullptr, nullptr, Instance(), nullptr);
    if (!window)
        return false;
    d.mainWindow = window;
    d.dpi = MonitorDpi(window);
    d.layoutDpi[window] = d.dpi;
    d.titleFont = titleFont;
    d.focusControl = 0;
    const SIZE outer = OuterSize(Scaled(clientWidth, d.dpi), Scaled(clientHeight, d.dpi), style, 0, d.dpi);
    const POINT at = CentredOnScreen(outer);
    SetWindowPos(window, nullptr, at.x, at.y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    // Tips show also while the window is not in front.
    d.tooltips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                                 Instance(), nullptr);
    // The tips measure their text in the font they draw it in, the window's at its dpi: the
    // system's own font for them is the system dpi's, and a tip sized by it was cut short.
    SendMessageW(d.tooltips, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont(d.dpi)), FALSE);
    // Created in the table's order: the window's order of its children is the keyboard order.
    for (const ControlSpec& row : controls) {
        ControlInfo control;
        control.kind = row.kind;
        control.place = {row.left, row.top, row.left + row.width, row.top + row.height};
        control.tooltip = Wide(row.tooltip);
        control.accessibleName = Wide(row.accessibleName);
        AddAccessibleLabel(window, row.accessibleName, ScaledPlace(control.place, d.dpi));
        CreateControl(window, row.number, control, row.text, d.dpi);
        d.controls[row.number] = control;
    }
    // Focus rectangles show once the keyboard is used.
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
    ShowAndPaint(window);
    LastInput = Clock::now();
    SuspendAudioAfter(window, AudioSuspendDelay);
    return true;
}

void SetMainWindowTitle(std::string_view title)
{
    if (HWND window = TheDesktop().mainWindow)
        SetWindowTextW(window, Wide(title).c_str());
}

void StartTimer(int number, std::chrono::milliseconds period)
{
    StartDesktop();
    Desktop& d = TheDesktop();
    if (const auto running = d.timers.find(number); running != d.timers.end())
        KillTimer(running->second, static_cast<UINT_PTR>(number));
    HWND owner = d.mainWindow ? d.mainWindow : d.messageWindow;
    SetTimer(owner, static_cast<UINT_PTR>(number), static_cast<UINT>(period.count()), nullptr);
    d.timers[number] = owner;
}

void StopTimer(int number)
{
    Desktop& d = TheDesktop();
    if (const auto running = d.timers.find(number); running != d.timers.end()) {
        KillTimer(running->second, static_cast<UINT_PTR>(number));
        d.timers.erase(running);
    }
}

std::chrono::steady_clock::time_point TimerClockNow()
{
    return std::chrono::steady_clock::now();
}

Event WaitWindowEvent(std::chrono::milliseconds limit)
{
    EventQueue& events = WindowEvents();
    const Clock::time_point deadline = Clock::now() + limit;
    DispatchWaiting();
    while (events.Empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= std::chrono::milliseconds::zero())
            break;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        DispatchWaiting();
    }
    return events.Take();
}

std::string GetText(int control)
{
    const ControlInfo* info = Control(control);
    if (!info || !info->handle)
        return {};
    if (info->kind == ControlKind::OutputEditor)
        return OutputEditorText(info->handle);
    HWND handle = info->handle;
    return Utf8(WindowText(handle));
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
    Desktop& d = TheDesktop();
    d.settingText = true;
    SetWindowTextW(info->handle, wanted.c_str());
    d.settingText = false;
    if (info->kind == ControlKind::LineEdit) {
        // The caret after the text, as after typing it.
        const auto length = static_cast<WPARAM>(wanted.size());
        SendMessageW(info->handle, EM_SETSEL, length, static_cast<LPARAM>(length));
    } else {
        ApplyFont(*info, d.dpi);
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
        if (HWND field = ControlHandle(TheDesktop().lastEditFocus); field && IsWindowEnabled(field))
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
        TheDesktop().focusControl = control;
    }
}

int FocusedControl()
{
    Desktop& d = TheDesktop();
    if (const int focused = ControlNumber(GetFocus()))
        return focused;
    // In the background the window remembers the control it gives the focus back to.
    return d.mainWindow && GetActiveWindow() != d.mainWindow ? d.focusControl : 0;
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

// The memory is made first: a copy that cannot be had leaves the clipboard as it was.
bool CopyToClipboard(std::string_view text)
{
    const std::wstring wide = ShownText(text);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(wchar_t));
    void* bytes = memory ? GlobalLock(memory) : nullptr;
    if (!bytes) {
        if (memory)
            GlobalFree(memory);
        return false;
    }
    std::copy_n(wide.c_str(), wide.size() + 1, static_cast<wchar_t*>(bytes));
    GlobalUnlock(memory);
    const HWND owner = TheDesktop().mainWindow ? TheDesktop().mainWindow : TheDesktop().messageWindow;
    const bool copied = OpenClipboard(owner) && EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
    if (!copied)
        GlobalFree(memory);
    return copied;
}

void OpenWebAddress(std::string_view address)
{
    if (RecordWebAddress(address))
        return;
    StartDesktop();
    const std::wstring target = Wide(address);
    SHELLEXECUTEINFOW run{};
    run.cbSize = sizeof run;
    // Not waited for; but the hand-over itself completes before this returns, since the program
    // may end right after.
    run.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    run.hwnd = TheDesktop().mainWindow;
    run.lpVerb = L"open";
    run.lpFile = target.c_str();
    run.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&run);
}

void PauseFor(std::chrono::milliseconds span)
{
    // The system's timer otherwise ticks every 15.6 ms, which a 100 ms wait would overshoot.
    timeBeginPeriod(1);
    Sleep(static_cast<DWORD>(span.count()));
    timeEndPeriod(1);
}
