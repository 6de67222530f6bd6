// The table window of the Win32 front end: a list view in report mode, filled cell by cell, with
// a status line under it; the keyboard first (arrows, Space and Enter activate a row, Ctrl+A,
// Ctrl+C), at the screen's dpi. Screen readers read the list view's rows through its own MSAA.
#include "platform/windows/desktop.h"

#include <commctrl.h>

namespace {

constexpr int ListId = 1;
constexpr int StatusId = 2;
// Lengths at 96 dpi.
constexpr int Margin = 6;
constexpr int StatusHeight = 18;
// A changed row stands out in the colour of a marker pen, its text black.
constexpr COLORREF HighlightColour = RGB(255, 236, 140);

struct TableState {
    HWND list = nullptr;
    HWND status = nullptr;
    int copyAction = 0;
    int closedAction = 0;
    std::vector<int> widths;          // of the columns, at 96 dpi
    std::vector<bool> highlighted;    // per row
};

TableState Table;

int Dpi(HWND window)
{
    const auto found = TheDesktop().layoutDpi.find(window);
    return found != TheDesktop().layoutDpi.end() ? found->second : 96;
}

void LayOut(HWND window)
{
    const int dpi = Dpi(window);
    RECT client{};
    GetClientRect(window, &client);
    const int margin = Scaled(Margin, dpi), status = Scaled(StatusHeight, dpi);
    MoveWindow(Table.list, margin, margin, std::max(1L, client.right - 2 * margin),
               std::max(1L, client.bottom - 3 * margin - status), TRUE);
    MoveWindow(Table.status, margin, client.bottom - margin - status, std::max(1L, client.right - 2 * margin), status,
               TRUE);
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
        const POINT at = CentredOnScreen(outer);
        SetWindowPos(window, nullptr, at.x, at.y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
        Table.copyAction = shape.copyAction;
        Table.closedAction = shape.closedAction;
        Table.widths.assign(shape.columnWidths.begin(), shape.columnWidths.end());
        // Named as the window is: a screen reader calls the list by it.
        Table.list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, Wide(shape.title).c_str(),
                                     WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                     0, 0, 1, 1, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ListId)),
                                     Instance(), nullptr);
        Table.status = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, 0,
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
    SendMessageW(Table.list, LVM_REDRAWITEMS, static_cast<WPARAM>(row), row);
}

void SetTableStatus(std::string_view text)
{
    if (Table.status)
        SetWindowTextW(Table.status, Wide(text).c_str());
}
