// The modal dialogs of the Win32 front end (an input dialog of our own and the system's message
// box), and the connect window.
#include "platform/windows/desktop.h"

#include <commdlg.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/shared/layout.h"

namespace {

struct InputDialogState {
    HWND prompt = nullptr;
    HWND edit = nullptr;
    HWND ok = nullptr;
    bool done = false;
    bool accepted = false;
};

// The connect window's text, laid out again when its dpi changes.
struct ConnectWindowState {
    HWND label = nullptr;
    std::wstring text;
};
ConnectWindowState Connect;

// The program's other windows are disabled while a dialog of its own is open; returns them.
std::vector<HWND> DisableOtherWindows(HWND dialog)
{
    std::vector<HWND> disabled;
    for (HWND window : {TheDesktop().mainWindow, TheDesktop().connectWindow, TheDesktop().tableWindow})
        if (window && window != dialog && IsWindowEnabled(window)) {
            EnableWindow(window, FALSE);
            disabled.push_back(window);
        }
    return disabled;
}

RECT ScaledBox(Box box, int dpi)
{
    return ScaledPlace({box.left, box.top, box.left + box.width, box.top + box.height}, dpi);
}

void PlaceChild(HWND child, Box box, int dpi)
{
    const RECT place = ScaledBox(box, dpi);
    SetWindowPos(child, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// A window made on the primary monitor takes its dpi, and is then sized and centred for it.
int TakeMonitorDpi(HWND window, SIZE outerAt96, DWORD style, DWORD exStyle, bool clientGiven)
{
    const int dpi = MonitorDpi(window);
    TheDesktop().layoutDpi[window] = dpi;
    const SIZE outer = clientGiven ? OuterSize(Scaled(outerAt96.cx, dpi), Scaled(outerAt96.cy, dpi), style, exStyle, dpi)
                                   : SIZE{Scaled(outerAt96.cx, dpi), Scaled(outerAt96.cy, dpi)};
    const POINT at = CentredOnScreen(outer);
    SetWindowPos(window, nullptr, at.x, at.y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    return dpi;
}

// The rectangle Windows suggests for a new dpi (WM_DPICHANGED).
int TakeNewDpi(HWND window, WPARAM wParam, LPARAM lParam)
{
    const int dpi = LOWORD(wParam);
    TheDesktop().layoutDpi[window] = dpi;
    if (const auto* suggested = reinterpret_cast<const RECT*>(lParam))
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    return dpi;
}

void LayOutInputDialog(const InputDialogState& state, int dpi)
{
    PlaceChild(state.prompt, InputDialogPrompt, dpi);
    PlaceChild(state.edit, InputDialogField, dpi);
    PlaceChild(state.ok, InputDialogOkButton, dpi);
    for (HWND child : {state.edit, state.ok})
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont(dpi)), TRUE);
    FitTextToControl(state.prompt, ControlKind::TitleText, ScaledBox(InputDialogPrompt, dpi), GuiFont(dpi), dpi);
}

void LayOutConnectWindow(int dpi)
{
    PlaceChild(Connect.label, ConnectWindowText, dpi);
    const RECT place = ScaledBox(ConnectWindowText, dpi);
    const HFONT font =
        FittedFont(GuiFont(dpi), Connect.text, {place.right - place.left, place.bottom - place.top}, true);
    SendMessageW(Connect.label, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

}  // namespace

LRESULT CALLBACK ConnectWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE)
        return 0;   // it goes when the connect is over
    if (message == WM_DPICHANGED) {
        const int dpi = TakeNewDpi(window, wParam, lParam);
        if (Connect.label)
            LayOutConnectWindow(dpi);
        return 0;
    }
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
    case WM_DPICHANGED: {
        const int dpi = TakeNewDpi(window, wParam, lParam);
        if (state && state->edit)
            LayOutInputDialog(*state, dpi);
        return 0;
    }
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
    // Owned by the main window where there is one, so that it gets the activation back afterwards.
    HWND dialog = CreateWindowExW(exStyle, InputDialogClass, Wide(title).c_str(), style, 0, 0, InputDialogWidth,
                                  InputDialogHeight, TheDesktop().mainWindow, nullptr, Instance(), nullptr);
    if (!dialog)
        return {};
    const int dpi = TakeMonitorDpi(dialog, {InputDialogWidth, InputDialogHeight}, style, exStyle, false);
    InputDialogState state;
    SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));

    // The prompt names the field for a screen reader too, as the static text right before it.
    state.prompt = CreateChild(dialog, L"STATIC", Wide(prompt), SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX, 0,
                               ScaledBox(InputDialogPrompt, dpi), -1);
    state.edit = CreateChild(dialog, L"EDIT", Wide(preset), WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE,
                             ScaledBox(InputDialogField, dpi), 100);
    state.ok = CreateChild(dialog, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, ScaledBox(InputDialogOkButton, dpi),
                           IDOK);
    if (state.prompt && state.edit && state.ok)
        LayOutInputDialog(state, dpi);
    // The caret after the preset, nothing selected.
    const auto length = static_cast<WPARAM>(GetWindowTextLengthW(state.edit));
    SendMessageW(state.edit, EM_SETSEL, length, static_cast<LPARAM>(length));

    const EventQueue::ModalScope modal(WindowEvents());
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
    TheDesktop().layoutDpi.erase(dialog);
    DestroyWindow(dialog);
    return answer;
}

void MessageDialog(std::string_view title, std::string_view text)
{
    StartDesktop();
    HWND owner = TheDesktop().mainWindow;
    const EventQueue::ModalScope modal(WindowEvents());
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
    HWND window = CreateWindowExW(0, ConnectWindowClass, Wide(title).c_str(), style, 0, 0, ConnectWindowWidth,
                                  ConnectWindowHeight, nullptr, nullptr, Instance(), nullptr);
    if (!window)
        return;
    TheDesktop().connectWindow = window;
    const int dpi = TakeMonitorDpi(window, {ConnectWindowWidth, ConnectWindowHeight}, style, 0, true);
    Connect.text = ShownText(text);
    Connect.label = CreateChild(window, L"STATIC", Connect.text, SS_LEFT | SS_NOPREFIX, 0,
                                   ScaledBox(ConnectWindowText, dpi), -1);
    if (Connect.label)
        LayOutConnectWindow(dpi);
    ShowAndPaint(window);
}

void CloseConnectWindow()
{
    if (TheDesktop().connectWindow) {
        TheDesktop().layoutDpi.erase(TheDesktop().connectWindow);
        DestroyWindow(TheDesktop().connectWindow);
    }
    TheDesktop().connectWindow = nullptr;
    Connect = {};
    DispatchKeepAlive();
}

namespace {

// The user's documents folder; empty where the system names none.
std::wstring DocumentsFolder()
{
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path)))
        folder = path;
    CoTaskMemFree(path);
    return folder;
}

}  // namespace

std::optional<std::string> ChooseFileToWrite(std::string_view title, std::string_view suggestedName,
                                             std::string_view appendQuestion)
{
    StartDesktop();
    std::wstring file = Wide(suggestedName);
    file.resize(32768, L'\0');
    const std::wstring folder = DocumentsFolder();
    const std::wstring caption = Wide(title);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetActiveWindow();
    dialog.lpstrFilter = L"Textdateien (*.txt)\0*.txt\0Alle Dateien (*.*)\0*.*\0";
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = caption.c_str();
    dialog.lpstrDefExt = L"txt";
    // Whether the file can be written is found out by writing it, and told in the program's message.
    dialog.Flags = OFN_EXPLORER | (appendQuestion.empty() ? OFN_OVERWRITEPROMPT : 0) | OFN_PATHMUSTEXIST
                   | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_NOTESTFILECREATE;
    const EventQueue::ModalScope modal(WindowEvents());
    for (;;) {
        if (!GetSaveFileNameW(&dialog))
            return std::nullopt;
        const std::wstring path(file.c_str());
        if (appendQuestion.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return Utf8(path);
        std::wstring question = ShownText(appendQuestion);
        if (const std::size_t name = question.find(L"{}"); name != std::wstring::npos)
            question.replace(name, 2, path.substr(dialog.nFileOffset));
        if (MessageBoxW(dialog.hwndOwner, question.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES)
            return Utf8(path);
    }
}

