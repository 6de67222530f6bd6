// The modal dialogs of the Win32 front end (an input dialog of our own and the system's message
// box), and the connecting window.
#include "platform/windows/desktop.h"

#include "platform/layout.h"

namespace {

struct InputDialogState {
    HWND edit = nullptr;
    bool done = false;
    bool accepted = false;
};

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

RECT Place(Box box)
{
    return {box.left, box.top, box.left + box.width, box.top + box.height};
}

}  // namespace

LRESULT CALLBACK ConnectWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE)
        return 0;   // it goes when the connect is over
    return DefWindowProcW(window, message, wParam, lParam);
}

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

std::string InputDialog(std::string_view title, std::string_view prompt, std::string_view preset)
{
    StartDesktop();
    constexpr DWORD style = WS_POPUP | WS_CAPTION;   // a caption without system menu or close box
    constexpr DWORD exStyle = WS_EX_DLGMODALFRAME;
    constexpr SIZE size{InputDialogWidth, InputDialogHeight};
    const POINT at = CentredOnScreen(size);
    // Owned by the main window where there is one, so that it gets the activation back afterwards.
    HWND dialog = CreateWindowExW(exStyle, InputDialogClass, Wide(title).c_str(), style, at.x, at.y,
                                  size.cx, size.cy, D().mainWindow, nullptr, Instance(), nullptr);
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
    const RECT promptPlace = Place(InputDialogPrompt);
    HWND label = make(L"STATIC", Wide(prompt), SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX, 0, promptPlace, -1);
    if (label)
        FitTextToControl(label, ControlKind::TitleText, promptPlace, GuiFont());
    state.edit = make(L"EDIT", Wide(preset), WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE,
                      Place(InputDialogField), 100);
    make(L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, Place(InputDialogOkButton), IDOK);
    // The caret after the preset, nothing selected.
    const auto length = static_cast<WPARAM>(GetWindowTextLengthW(state.edit));
    SendMessageW(state.edit, EM_SETSEL, length, static_cast<LPARAM>(length));

    const EventQueue::ModalScope modal(D().queue);
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
    const EventQueue::ModalScope modal(D().queue);
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
    const SIZE outer = OuterSize(ConnectWindowWidth, ConnectWindowHeight, style, 0);
    const POINT at = CentredOnScreen(outer);
    HWND window = CreateWindowExW(0, ConnectWindowClass, Wide(title).c_str(), style, at.x, at.y, outer.cx, outer.cy,
                                  nullptr, nullptr, Instance(), nullptr);
    if (!window)
        return;
    D().connectWindow = window;
    const RECT place = Place(ConnectWindowText);
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
