// The output editor of the Win32 front end: a read-only rich edit, one colour for all its text,
// lines never wrapped.
#include "platform/windows/desktop.h"

#include <commctrl.h>
#include <richedit.h>

#include <climits>

namespace {

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
