// The table window of the Win32 front end: a list view in report mode, filled cell by cell, with
// a status line under it; the keyboard first (arrows, Space and Enter activate a row, Ctrl+A,
// Ctrl+C, Escape closes), the program's entries in its context menu, at the screen's dpi. Screen
// readers read the list view's rows through its own MSAA.
#include "platform/windows/desktop.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "platform/shared/program_actions.h"

namespace {

constexpr int ListId = 1;
constexpr int StatusId = 2;
// Lengths at 96 dpi.
constexpr int Margin = 6;
constexpr int StatusHeight = 18;
// The program's menu entries, from this id on.
constexpr UINT FirstMenuItem = 100;
// A changed row stands out in the colour of a marker pen, its text black.
constexpr COLORREF HighlightColour = RGB(255, 236, 140);

struct TableState {
    HWND list = nullptr;
    HWND status = nullptr;
    int copyAction = 0;
    int closedAction = 0;
    std::vector<int> widths;          // of the columns, at 96 dpi
    std::vector<bool> highlighted;    // per row
    bool stale = false;               // the rows greyed: not current
};

TableState Table;

int Dpi(HWND window)
{
    const auto found = TheDesktop().layoutDpi.find(window);
    return found != TheDesktop().layoutDpi.end() ? found->second : 96;
}

// The status line's height for its text at that width: broken into lines rather than cut off.
int StatusHeightFor(int width, int dpi)
{
    const std::wstring text = WindowText(Table.status);
    HDC context = GetDC(Table.status);
    const HGDIOBJ previous = SelectObject(context, GuiFont(dpi));
    RECT one{0, 0, width, 0}, all{0, 0, width, 0};
    DrawTextW(context, L"Ag", 2, &one, DT_CALCRECT | DT_NOPREFIX);
    DrawTextW(context, text.c_str(), static_cast<int>(text.size()), &all, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(context, previous);
    ReleaseDC(Table.status, context);
    return Scaled(StatusHeight, dpi) + std::max(0, static_cast<int>(all.bottom - one.bottom));
}

void LayOut(HWND window)
{
    const int dpi = Dpi(window);
    RECT client{};
    GetClientRect(window, &client);
    const int margin = Scaled(Margin, dpi);
    const int width = std::max(1, static_cast<int>(client.right) - 2 * margin);
    const int status = StatusHeightFor(width, dpi);
    MoveWindow(Table.list, margin, margin, width, std::max(1L, client.bottom - 3 * margin - status), TRUE);
    MoveWindow(Table.status, margin, client.bottom - margin - status, width, status, TRUE);
    // The names take what the window gains, never less than their own width.
    if (Table.widths.size() >= 2) {
        RECT inside{};
        GetClientRect(Table.list, &inside);
        const std::size_t name = Table.widths.size() - 2;
        int others = 0;
        for (std::size_t column = 0; column < Table.widths.size(); ++column)
            others += column == name ? 0 : Scaled(Table.widths[column], dpi);
        SendMessageW(Table.list, LVM_SETCOLUMNWIDTH, name,
                     std::max(Scaled(Table.widths[name], dpi), static_cast<int>(inside.right) - others));
    }
}

void ApplyDpi(HWND window, int dpi)
{
    TheDesktop().layoutDpi[window] = dpi;
    for (HWND control : {Table.list, Table.status})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont(dpi)), TRUE);
    for (std::size_t column = 0; column < Table.widths.size(); ++column)
        SendMessageW(Table.list, LVM_SETCOLUMNWIDTH, column, Scaled(Table.widths[column], dpi));
    LayOut(window);
}

int SelectedRow()
{
    return static_cast<int>(SendMessageW(Table.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

void ShowContextMenu(HWND window, LPARAM lParam)
{
    const std::vector<MenuEntry>& entries = TableMenuEntries();
    if (entries.empty())
        return;
    POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    // From the keyboard (Shift+F10, the menu key): at the focused row.
    if (lParam == -1) {
        RECT row{LVIR_BOUNDS};
        if (SendMessageW(Table.list, LVM_GETITEMRECT, static_cast<WPARAM>(std::max(0, SelectedRow())),
                         reinterpret_cast<LPARAM>(&row)) == 0)
            GetClientRect(Table.list, &row);
        at = {row.left, row.bottom};
        ClientToScreen(Table.list, &at);
    }
    HMENU menu = CreatePopupMenu();
    for (std::size_t index = 0; index < entries.size(); ++index)
        AppendMenuW(menu, MF_STRING, FirstMenuItem + index, Wide(entries[index].text).c_str());
    const UINT chosen =
        static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, window, nullptr));
    DestroyMenu(menu);
    if (chosen >= FirstMenuItem && chosen < FirstMenuItem + entries.size())
        WindowEvents().PostOnce(EventKind::Action, entries[chosen - FirstMenuItem].action);
}

// Beside the main window where the screen has room, else over it: never partly off the screen.
POINT BesideMainWindow(SIZE outer)
{
    RECT main{};
    HWND owner = TheDesktop().mainWindow;
    MONITORINFO monitor{sizeof monitor};
    GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT room = monitor.rcWork;
    if (!owner || !GetWindowRect(owner, &main))
        main = {room.left, room.top, room.left, room.top};
    LONG left = main.right + outer.cx <= room.right ? main.right : main.left - outer.cx;
    left = std::clamp(left, room.left, std::max(room.left, room.right - outer.cx));
    const LONG top = std::clamp(main.top, room.top, std::max(room.top, room.bottom - outer.cy));
    return {left, top};
}

// Space and Enter activate the focused row, once a press: a key held down repeats, and a repeat
// never switches. Ctrl+C asks the program to copy, Ctrl+A selects every row.
LRESULT CALLBACK ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    // Enter comes to the list, not to the dialog manager's default button.
    if (message == WM_GETDLGCODE && lParam != 0 && reinterpret_cast<const MSG*>(lParam)->wParam == VK_RETURN)
        return DLGC_WANTMESSAGE | DefSubclassProc(window, message, wParam, lParam);
    if (message == WM_KEYDOWN) {
        const bool control = GetKeyState(VK_CONTROL) < 0;
        if (control && (wParam == 'C' || wParam == VK_INSERT)) {
            WindowEvents().PostOnce(EventKind::Action, Table.copyAction);
            return 0;
        }
        if (wParam == VK_ESCAPE) {
            WindowEvents().PostOnce(EventKind::Action, Table.closedAction);
            return 0;
        }
        if (control && wParam == 'A') {
            LVITEMW all{};
            all.stateMask = LVIS_SELECTED;
            all.state = LVIS_SELECTED;
            SendMessageW(window, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&all));
            return 0;
        }
        if ((wParam == VK_SPACE || wParam == VK_RETURN) && !control) {
            const bool repeated = (lParam & (1 << 30)) != 0;
            if (!repeated && SelectedRow() >= 0)
                WindowEvents().Post(EventKind::Row, SelectedRow());
            return 0;
        }
    }
    if (message == WM_CHAR && (wParam == L' ' || wParam == L'\r'))
        return 0;   // no type-ahead search for the key that activated the row
    return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw)
{
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
        if (row < Table.highlighted.size() && Table.highlighted[row]) {
            draw.clrTextBk = HighlightColour;
            draw.clrText = RGB(0, 0, 0);
        } else if (Table.stale) {
            draw.clrText = GetSysColor(COLOR_GRAYTEXT);
        }
    }
    return CDRF_DODEFAULT;
}

}  // namespace

LRESULT CALLBACK TableWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        if (Table.list)
            LayOut(window);
        return 0;
    case WM_SETFOCUS:
        if (Table.list)
            SetFocus(Table.list);
        return 0;
    case WM_SETCURSOR:
        // The pointer over the table is a sign of a press to come, as over the main window.
        NoteUserInput();
        break;
    case WM_CONTEXTMENU:
        ShowContextMenu(window, lParam);
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != ListId)
            break;
        if (header->code == LVN_ITEMACTIVATE) {
            // A double click and Enter.
            const int row = reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem;
            if (row >= 0)
                WindowEvents().Post(EventKind::Row, row);
            return 0;
        }
        if (header->code == NM_CUSTOMDRAW)
            return OnCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
        break;
    }
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyDpi(window, HIWORD(wParam));
        return 0;
    }
    case WM_CLOSE:
        // The program is told; it closes the window itself.
        WindowEvents().PostOnce(EventKind::Action, Table.closedAction);
        return 0;
    case WM_NCDESTROY:
        TheDesktop().layoutDpi.erase(window);
        Table = TableState{};
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void OpenTableWindow(const TableWindowSpec& shape)
{
    StartDesktop();
    Desktop& d = TheDesktop();
    if (!d.tableWindow) {
        constexpr DWORD style = WS_OVERLAPPEDWINDOW;
        HWND window = CreateWindowExW(0, TableWindowClass, Wide(shape.title).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                                      shape.clientWidth, shape.clientHeight, nullptr, nullptr, Instance(), nullptr);
        if (!window)
            return;
        const int dpi = MonitorDpi(window);
        const SIZE outer = OuterSize(Scaled(shape.clientWidth, dpi), Scaled(shape.clientHeight, dpi), style, 0, dpi);
        const POINT at = BesideMainWindow(outer);
        SetWindowPos(window, nullptr, at.x, at.y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
        Table.copyAction = shape.copyAction;
        Table.closedAction = shape.closedAction;
        Table.widths.assign(shape.columnWidths.begin(), shape.columnWidths.end());
        // Named as the window is: a screen reader calls the list by it.
        Table.list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, Wide(shape.title).c_str(),
                                     WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS,
                                     0, 0, 1, 1, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ListId)),
                                     Instance(), nullptr);
        Table.status = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_LEFT, 0, 0,
                                       1, 1, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(StatusId)), Instance(),
                                       nullptr);
        SendMessageW(Table.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
        SetWindowSubclass(Table.list, ListProc, 0, 0);
        for (std::size_t column = 0; column < shape.headers.size(); ++column) {
            std::wstring header = Wide(shape.headers[column]);
            LVCOLUMNW info{};
            info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
            info.pszText = header.data();
            info.cx = column < shape.columnWidths.size() ? shape.columnWidths[column] : 80;
            info.iSubItem = static_cast<int>(column);
            SendMessageW(Table.list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
        }
        d.tableWindow = window;
        ApplyDpi(window, dpi);
    }
    // Shown in front, and given the window system's time to map it and hand it the focus, as
    // the main window is.
    ShowAndPaint(d.tableWindow);
    SetFocus(Table.list);
}

void CloseTableWindow()
{
    if (HWND window = std::exchange(TheDesktop().tableWindow, nullptr))
        DestroyWindow(window);
}

bool TableWindowOpen()
{
    return TheDesktop().tableWindow != nullptr;
}

void SetTableRows(int count)
{
    if (!Table.list)
        return;
    int rows = static_cast<int>(SendMessageW(Table.list, LVM_GETITEMCOUNT, 0, 0));
    for (; rows > count; --rows)
        SendMessageW(Table.list, LVM_DELETEITEM, static_cast<WPARAM>(rows - 1), 0);
    for (; rows < count; ++rows) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = rows;
        item.pszText = const_cast<wchar_t*>(L"");
        SendMessageW(Table.list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    Table.highlighted.resize(static_cast<std::size_t>(std::max(0, count)));
}

void SetTableCell(int row, int column, std::string_view text)
{
    if (!Table.list)
        return;
    std::wstring wanted = Wide(text);
    wchar_t shown[512] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = shown;
    item.cchTextMax = static_cast<int>(std::size(shown));
    SendMessageW(Table.list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    // Set again only when it changed: a screen reader is told of every change.
    if (wanted == shown)
        return;
    item.pszText = wanted.data();
    SendMessageW(Table.list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void SetTableRowHighlighted(int row, bool highlighted)
{
    if (!Table.list || row < 0 || row >= static_cast<int>(Table.highlighted.size()))
        return;
    Table.highlighted[static_cast<std::size_t>(row)] = highlighted;
    // The whole row, every column: its item rectangle alone leaves the subitems painted as before.
    RECT place{LVIR_BOUNDS};
    if (SendMessageW(Table.list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&place)) != 0) {
        RECT inside{};
        GetClientRect(Table.list, &inside);
        place.left = inside.left;
        place.right = inside.right;
        InvalidateRect(Table.list, &place, FALSE);
    }
}

void SetTableStatus(std::string_view text)
{
    if (!Table.status)
        return;
    const std::wstring wanted = Wide(text);
    if (WindowText(Table.status) == wanted)
        return;
    SetWindowTextW(Table.status, wanted.c_str());
    // A longer text may need another line.
    LayOut(GetParent(Table.status));
}

void SetTableStale(bool stale)
{
    if (!Table.list || Table.stale == stale)
        return;
    Table.stale = stale;
    InvalidateRect(Table.list, nullptr, FALSE);
}

std::vector<int> SelectedTableRows()
{
    std::vector<int> rows;
    for (int row = -1; Table.list
                       && (row = static_cast<int>(SendMessageW(Table.list, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED)))
                              >= 0;)
        rows.push_back(row);
    return rows;
}
