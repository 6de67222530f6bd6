// The output editor of the Win32 front end: a window of our own over the output model that paints
// only the lines in sight, so that a line costs a few bytes however long polling runs. It gives
// what a read-only rich edit gave: scroll bars, the wheel and the keys, selection with mouse and
// keyboard, copying, a context menu, one colour for all the text, no wrap, tab stops every half
// inch. What screen readers read it through is in output_accessible.cpp; how it measures text, in
// glyphs.cpp; saving it to a file, in output_save.cpp.
#include "platform/windows/desktop.h"
#include "platform/windows/glyphs.h"

#include "platform/shared/layout.h"
#include "platform/shared/output_file.h"
#include "platform/shared/output_model.h"
#include "platform/shared/program_actions.h"
#include "utils/timing.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>

namespace {

constexpr wchar_t OutputClass[] = L"SkarvelOutput";

constexpr UINT_PTR DragScrollTimer = 1;

constexpr UINT CopyMenuItem = 1;
constexpr UINT SelectAllMenuItem = 2;
constexpr UINT SaveMenuItem = 3;
constexpr UINT ProgramMenuItems = 100;   // and on: the program's entries, in their order

struct OutputView {
    HWND window = nullptr;
    std::wstring name;                // what a screen reader calls it
    OutputModel model;                // the lines, the selection, the view's place
    HFONT font = nullptr;             // the desktop's; it deletes it
    DrawnAdvances advances;           // the font's, as it draws
    int dpi = 96;
    int breakWidth = 1;               // a selected line break is shown this wide
    std::optional<Rgb> colour;        // none: the system's colours
    bool dragging = false;
    POINT dragPoint{};
    POINT doubleClickPoint{};
    int wheelRest = 0;                // wheel turns not yet worth a line
    int sideWheelRest = 0;
    bool settingBars = false;         // setting a bar may resize the window and ask again
    bool barsAgain = false;
    HBITMAP canvas = nullptr;         // painted off screen, then shown at once
    SIZE canvasSize{};
};

OutputView* View(HWND window)
{
    return reinterpret_cast<OutputView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

SIZE ClientSize(const OutputView& view)
{
    RECT client{};
    GetClientRect(view.window, &client);
    return {client.right, client.bottom};
}

// --- measuring -------------------------------------------------------------------------------

int TabStop(const OutputView& view)
{
    return std::max(1, Scaled(OutputTabStop, view.dpi));
}

// The view's font as it draws: how the model measures lines and steps through them.
LineMeasure Measure(OutputView& view)
{
    return {view.advances, TabStop(view)};
}

void UpdateFontMetrics(OutputView& view)
{
    TEXTMETRICW metrics{};
    if (HDC context = view.advances.Context())
        GetTextMetricsW(context, &metrics);
    view.model.SetMetrics(static_cast<int>(metrics.tmHeight), Scaled(OutputTextMargin, view.dpi));
    view.breakWidth = std::max(1, view.advances.Of(L" ", 1));
}

// --- the view's place in the text ----------------------------------------------------------------

// The rows of text, below the top margin and inside the focus frame: what scrolls.
RECT RowsArea(const OutputView& view)
{
    const SIZE client = ClientSize(view);
    return {1, view.model.Margin(), std::max(1L, client.cx - 1), std::max(1L, client.cy - 1)};
}

RECT RowRect(const OutputView& view, std::size_t line)
{
    const int top = static_cast<int>(std::clamp<std::int64_t>(view.model.RowTop(line), INT_MIN / 2, INT_MAX / 2));
    return {0, top, ClientSize(view).cx, top + view.model.LineHeight()};
}

void NotifyShownTextChanged(const OutputView& view)
{
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, view.window, OBJID_CLIENT, CHILDID_SELF);
}
// Sets a scroll bar, but draws it again only when its look changes: drawing one takes a few ms
// under Wine, and at a day of lines a new line moves the thumb by far less than a pixel. The
// drawing is left to the next paint, so that lines added in a row draw it once.
void SetBar(const OutputView& view, int bar, int maximum, int page, int position)
{
    const LONG object = bar == SB_VERT ? OBJID_VSCROLL : OBJID_HSCROLL;
    SCROLLBARINFO before{};
    before.cbSize = sizeof before;
    const bool known = GetScrollBarInfo(view.window, object, &before);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = maximum;
    info.nPage = static_cast<UINT>(std::max(0, page));
    info.nPos = position;
    SetScrollInfo(view.window, bar, &info, FALSE);
    SCROLLBARINFO after{};
    after.cbSize = sizeof after;
    if (known && GetScrollBarInfo(view.window, object, &after) && EqualRect(&before.rcScrollBar, &after.rcScrollBar)
        && before.xyThumbTop == after.xyThumbTop && before.xyThumbBottom == after.xyThumbBottom
        && std::equal(std::begin(before.rgstate), std::end(before.rgstate), std::begin(after.rgstate)))
        return;
    // The bar's place, from the screen into the coordinates of the client area.
    RECT place = after.rcScrollBar;
    MapWindowPoints(nullptr, view.window, reinterpret_cast<POINT*>(&place), 2);
    RedrawWindow(view.window, &place, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
}

int Clamped(std::size_t value)
{
    return static_cast<int>(std::min<std::size_t>(value, INT_MAX));
}

void SetVerticalBar(const OutputView& view)
{
    const std::size_t count = view.model.LineCount();
    SetBar(view, SB_VERT, count > 0 ? Clamped(count - 1) : 0, view.model.Rows(), Clamped(view.model.Top()));
}

// The vertical bar counts lines, the horizontal one pixels; each shows only when it is needed.
// Showing or hiding one resizes the window, which may call for the other: set until they agree.
void UpdateScrollBars(OutputView& view)
{
    if (view.settingBars) {
        view.barsAgain = true;
        return;
    }
    view.settingBars = true;
    for (int round = 0; round < 4; ++round) {
        view.barsAgain = false;
        SetVerticalBar(view);
        view.model.SetLeft(view.model.Left());
        const int width = static_cast<int>(ClientSize(view).cx);
        SetBar(view, SB_HORZ, view.model.LastLeft() + width - 1, width, view.model.Left());
        if (!view.barsAgain)
            break;
    }
    view.settingBars = false;
}

// Shows the model's place after it moved from (top, left). Moves what is painted already rather
// than painting it again: a tick at the bottom paints a line.
void ShowScrolled(OutputView& view, std::size_t top, int left)
{
    if (view.model.Top() != top) {
        const long long rows = static_cast<long long>(view.model.Top()) - static_cast<long long>(top);
        const RECT area = RowsArea(view);
        const int lineHeight = view.model.LineHeight();
        if (std::llabs(rows) * lineHeight < area.bottom - area.top)
            ScrollWindowEx(view.window, 0, static_cast<int>(-rows * lineHeight), &area, &area, nullptr, nullptr,
                           SW_INVALIDATE);
        else
            InvalidateRect(view.window, nullptr, FALSE);
        SetVerticalBar(view);
        NotifyShownTextChanged(view);
    }
    if (view.model.Left() != left) {
        InvalidateRect(view.window, nullptr, FALSE);
        UpdateScrollBars(view);
    }
}

void SetTop(OutputView& view, std::size_t top)
{
    const std::size_t before = view.model.Top();
    view.model.SetTop(top);
    ShowScrolled(view, before, view.model.Left());
}

void SetLeft(OutputView& view, int left)
{
    const int before = view.model.Left();
    view.model.SetLeft(left);
    ShowScrolled(view, view.model.Top(), before);
}

// The window changed its size: the view keeps to the bottom if it was there.
void OnResize(OutputView& view)
{
    const SIZE client = ClientSize(view);
    view.model.SetViewSize(static_cast<int>(client.cx), static_cast<int>(client.cy));
    UpdateScrollBars(view);
    InvalidateRect(view.window, nullptr, FALSE);
}

std::wstring LineText(const OutputView& view, std::size_t line)
{
    return WideOf(view.model.LineText(line));
}

OutputPosition PositionAtPoint(OutputView& view, POINT point)
{
    return view.model.PositionAt(point.x, point.y, Measure(view));
}

// --- selection and copying -------------------------------------------------------------------

// The text from one place to another, lines joined by CR LF as Windows copies text.
std::wstring TextBetween(const OutputView& view, OutputPosition from, OutputPosition to)
{
    return Wide(view.model.TextBetween(from, to, "\r\n"));
}

// A copy the system refuses leaves the clipboard as it was, and says so.
void Copy(const OutputView& view)
{
    if (view.model.HasSelection() && !CopyToClipboard(view.model.SelectedText("\r\n")))
        MessageDialog(SaveOutputProblemTitle, OutputCopyProblemText);
}

void SelectionChanged(const OutputView& view)
{
    InvalidateRect(view.window, nullptr, FALSE);
    NotifyWinEvent(EVENT_OBJECT_SELECTION, view.window, OBJID_CLIENT, CHILDID_SELF);
}

void Select(OutputView& view, OutputPosition anchor, OutputPosition cursor)
{
    view.model.Select(anchor, cursor);
    SelectionChanged(view);
}

void SelectAll(OutputView& view)
{
    view.model.SelectAll();
    SelectionChanged(view);
}

void SelectWordAt(OutputView& view, OutputPosition at)
{
    const std::wstring text = LineText(view, at.line);
    const int size = static_cast<int>(text.size());
    if (size == 0) {
        Select(view, at, at);
        return;
    }
    const int column = std::min(at.column, size - 1);
    const bool word = IsWordCharacter(text[static_cast<std::size_t>(column)]);
    int start = column;
    int end = column + 1;
    if (word) {
        while (start > 0 && IsWordCharacter(text[static_cast<std::size_t>(start - 1)]))
            --start;
        while (end < size && IsWordCharacter(text[static_cast<std::size_t>(end)]))
            ++end;
    }
    Select(view, {at.line, start}, {at.line, end});
}

// --- keyboard ------------------------------------------------------------------------------------

bool OnKey(OutputView& view, WPARAM key)
{
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    if (control && (key == 'C' || key == VK_INSERT)) {
        Copy(view);
        return true;
    }
    if (control && key == 'A') {
        SelectAll(view);
        return true;
    }
    OutputMove move{};
    switch (key) {
    case VK_RIGHT: move = control ? OutputMove::NextWord : OutputMove::NextChar; break;
    case VK_LEFT: move = control ? OutputMove::PreviousWord : OutputMove::PreviousChar; break;
    case VK_DOWN: move = OutputMove::NextLine; break;
    case VK_UP: move = OutputMove::PreviousLine; break;
    case VK_NEXT: move = OutputMove::NextPage; break;
    case VK_PRIOR: move = OutputMove::PreviousPage; break;
    case VK_HOME: move = control ? OutputMove::StartOfText : OutputMove::StartOfLine; break;
    case VK_END: move = control ? OutputMove::EndOfText : OutputMove::EndOfLine; break;
    default: return false;
    }
    const std::size_t top = view.model.Top();
    const int left = view.model.Left();
    view.model.Move(move, shift, Measure(view));
    ShowScrolled(view, top, left);
    SelectionChanged(view);
    return true;
}

// --- scroll bars and the wheel -----------------------------------------------------------------

int TrackPosition(HWND window, int bar)
{
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_TRACKPOS;
    GetScrollInfo(window, bar, &info);
    return info.nTrackPos;
}

void OnVerticalBar(OutputView& view, int request)
{
    const long long top = static_cast<long long>(view.model.Top());
    const int rows = view.model.Rows();
    long long to = top;
    switch (request) {
    case SB_LINEUP: to = top - 1; break;
    case SB_LINEDOWN: to = top + 1; break;
    case SB_PAGEUP: to = top - rows; break;
    case SB_PAGEDOWN: to = top + rows; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: to = TrackPosition(view.window, SB_VERT); break;
    case SB_TOP: to = 0; break;
    case SB_BOTTOM: to = static_cast<long long>(view.model.LastTop()); break;
    default: return;
    }
    SetTop(view, static_cast<std::size_t>(std::max(0LL, to)));
}

void OnHorizontalBar(OutputView& view, int request)
{
    const int step = Scaled(OutputHorizontalStep, view.dpi);
    const int page = static_cast<int>(ClientSize(view).cx);
    const int left = view.model.Left();
    switch (request) {
    case SB_LINELEFT: SetLeft(view, left - step); break;
    case SB_LINERIGHT: SetLeft(view, left + step); break;
    case SB_PAGELEFT: SetLeft(view, left - page); break;
    case SB_PAGERIGHT: SetLeft(view, left + page); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: SetLeft(view, TrackPosition(view.window, SB_HORZ)); break;
    case SB_LEFT: SetLeft(view, 0); break;
    case SB_RIGHT: SetLeft(view, view.model.LastLeft()); break;
    default: break;
    }
}

void OnWheel(OutputView& view, int delta)
{
    UINT lines = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    view.wheelRest += delta;
    const int notches = view.wheelRest / WHEEL_DELTA;
    view.wheelRest -= notches * WHEEL_DELTA;
    if (notches == 0 || lines == 0)
        return;
    const long long step = lines == WHEEL_PAGESCROLL ? view.model.Rows() : static_cast<long long>(lines);
    SetTop(view, static_cast<std::size_t>(std::max(0LL, static_cast<long long>(view.model.Top()) - notches * step)));
}

void OnSideWheel(OutputView& view, int delta)
{
    view.sideWheelRest += delta;
    const int notches = view.sideWheelRest / WHEEL_DELTA;
    view.sideWheelRest -= notches * WHEEL_DELTA;
    SetLeft(view, view.model.Left() + notches * Scaled(OutputHorizontalStep, view.dpi));
}

// --- mouse ---------------------------------------------------------------------------------------

POINT PointOf(LPARAM lParam)
{
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

OutputModel::DragScroll DragScrollAt(const OutputView& view, POINT point)
{
    const SIZE client = ClientSize(view);
    return OutputModel::DragScrollAt(point.x, point.y, static_cast<int>(client.cx), static_cast<int>(client.cy));
}

void DragTo(OutputView& view, POINT point)
{
    view.dragPoint = point;
    view.model.DragTo(PositionAtPoint(view, point));
    InvalidateRect(view.window, nullptr, FALSE);
}

void OnPress(OutputView& view, POINT point)
{
    SetFocus(view.window);
    const OutputPosition at = PositionAtPoint(view, point);
    const bool tripleClick =
        view.model.TakeTripleClick(static_cast<std::uint32_t>(GetMessageTime()), GetDoubleClickTime())
        && std::abs(point.x - view.doubleClickPoint.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2
        && std::abs(point.y - view.doubleClickPoint.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
    if (tripleClick) {
        view.model.SelectLine(at.line);
        SelectionChanged(view);
        return;
    }
    Select(view, GetKeyState(VK_SHIFT) < 0 ? view.model.Anchor() : at, at);
    view.model.BeginDrag();
    view.dragging = true;
    view.dragPoint = point;
    SetCapture(view.window);
}

void OnDragMove(OutputView& view, POINT point)
{
    if (!view.dragging)
        return;
    DragTo(view, point);
    if (DragScrollAt(view, point) == OutputModel::DragScroll{})
        KillTimer(view.window, DragScrollTimer);
    else
        SetTimer(view.window, DragScrollTimer, static_cast<UINT>(OutputDragScrollInterval.count()), nullptr);
}

void EndDrag(OutputView& view)
{
    if (!view.dragging)
        return;
    view.dragging = false;
    KillTimer(view.window, DragScrollTimer);
    if (GetCapture() == view.window)
        ReleaseCapture();
    const std::size_t top = view.model.Top();
    view.model.EndDrag();
    ShowScrolled(view, top, view.model.Left());
    NotifyWinEvent(EVENT_OBJECT_SELECTION, view.window, OBJID_CLIENT, CHILDID_SELF);
}

void OnDragScroll(OutputView& view)
{
    const OutputModel::DragScroll step = DragScrollAt(view, view.dragPoint);
    if (step.y != 0)
        OnVerticalBar(view, step.y < 0 ? SB_LINEUP : SB_LINEDOWN);
    if (step.x != 0)
        OnHorizontalBar(view, step.x < 0 ? SB_LINELEFT : SB_LINERIGHT);
    DragTo(view, view.dragPoint);
}

void ShowContextMenu(OutputView& view, LPARAM lParam)
{
    POINT at = PointOf(lParam);
    if (at.x == -1 && at.y == -1) {
        // From the keyboard: at the cursor, or the view's corner when the cursor is out of sight.
        const OutputPosition cursor = view.model.Cursor();
        const RECT row = RowRect(view, cursor.line);
        const int x = view.model.TextX(Measure(view).ColumnX(view.model.LineText(cursor.line), cursor.column));
        const SIZE client = ClientSize(view);
        at = {std::clamp(x, 0, static_cast<int>(client.cx)), std::clamp(static_cast<int>(row.bottom), 0, static_cast<int>(client.cy))};
        ClientToScreen(view.window, &at);
    }
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    const std::wstring copy = Wide(OutputCopyMenuText) + L"\tStrg+C";
    const std::wstring selectAll = Wide(OutputSelectAllMenuText) + L"\tStrg+A";
    AppendMenuW(menu, MF_STRING | (view.model.HasSelection() ? 0 : MF_GRAYED), CopyMenuItem, copy.c_str());
    AppendMenuW(menu, MF_STRING | (view.model.LineCount() > 0 ? 0 : MF_GRAYED), SelectAllMenuItem, selectAll.c_str());
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, SaveMenuItem, Wide(SaveOutputMenuText).c_str());
    // The program's own entries, each a command for its loop.
    const std::vector<MenuEntry>& entries = OutputMenuEntries();
    for (std::size_t index = 0; index < entries.size(); ++index)
        AppendMenuW(menu, MF_STRING, ProgramMenuItems + index,
                    Wide(entries[index].text + (entries[index].shortcut.empty() ? "" : "\t" + entries[index].shortcut)).c_str());
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, view.window, nullptr));
    DestroyMenu(menu);
    if (chosen >= ProgramMenuItems && chosen < ProgramMenuItems + entries.size())
        WindowEvents().PostOnce(EventKind::Action, entries[chosen - ProgramMenuItems].action);
    else if (chosen == CopyMenuItem)
        Copy(view);
    else if (chosen == SelectAllMenuItem)
        SelectAll(view);
    else if (chosen == SaveMenuItem)
        SaveToFile(view.model);
}

// --- painting ------------------------------------------------------------------------------------

COLORREF TextColour(const OutputView& view)
{
    return view.colour ? RGB(view.colour->red, view.colour->green, view.colour->blue) : GetSysColor(COLOR_WINDOWTEXT);
}

COLORREF BackgroundColour(const OutputView& view)
{
    return view.colour ? RGB(255, 255, 255) : GetSysColor(COLOR_WINDOW);
}

struct SelectionColours {
    COLORREF fill, text;
};

// The system's highlight while the output has the focus. Without it the selection stays shown,
// as the Linux build shows it: its text in the output's colour on the highlight halfway to the
// background (the system's colour for it, a button's face, hardly differs from white), or in
// the highlight colours under high contrast.
SelectionColours SelectionColoursOf(const OutputView& view)
{
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    const bool highContrast = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0)
                              && (contrast.dwFlags & HCF_HIGHCONTRASTON);
    if (GetFocus() == view.window || highContrast)
        return {highlight, GetSysColor(COLOR_HIGHLIGHTTEXT)};
    const COLORREF back = BackgroundColour(view);
    const auto half = [](int a, int b) { return static_cast<BYTE>((a + b) / 2); };
    return {RGB(half(GetRValue(highlight), GetRValue(back)), half(GetGValue(highlight), GetGValue(back)),
                half(GetBValue(highlight), GetBValue(back))),
            TextColour(view)};
}

void Fill(HDC context, const RECT& area, COLORREF colour)
{
    SetDCBrushColor(context, colour);
    FillRect(context, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// Draws characters [from, to) of the line in one colour: each stretch between tabs in one call,
// with the font's own advances, from where the layout puts its first character.
void DrawRun(HDC context, const LineLayout& layout, int from, int to, int x0, int y, COLORREF colour)
{
    SetTextColor(context, colour);
    for (int start = from; start < to;) {
        if (layout.text[static_cast<std::size_t>(start)] == L'\t') {
            ++start;
            continue;
        }
        int end = start;
        while (end < to && layout.text[static_cast<std::size_t>(end)] != L'\t')
            ++end;
        ExtTextOutW(context, x0 + layout.x[static_cast<std::size_t>(start)], y, 0, nullptr,
                    layout.text.data() + start, static_cast<UINT>(end - start), nullptr);
        start = end;
    }
}

// Paints the line and tells the model how wide it came out; true when that widened the range.
bool PaintLine(HDC context, OutputView& view, std::size_t line, int y, const SelectionColours& marked)
{
    const LineLayout layout = LayOut(view.advances, TabStop(view), LineText(view, line));
    const int size = static_cast<int>(layout.text.size());
    const int x0 = view.model.TextX(0);
    const int lineHeight = view.model.LineHeight();
    const OutputModel::LineSelection selected = view.model.SelectionIn(line);
    if (selected.any) {
        const int right =
            x0 + layout.x[static_cast<std::size_t>(selected.to)] + (selected.lineBreak ? view.breakWidth : 0);
        Fill(context, {x0 + layout.x[static_cast<std::size_t>(selected.from)], y, right, y + lineHeight}, marked.fill);
    }
    const COLORREF colour = TextColour(view);
    DrawRun(context, layout, 0, selected.from, x0, y, colour);
    DrawRun(context, layout, selected.from, selected.to, x0, y, marked.text);
    DrawRun(context, layout, std::max(selected.from, selected.to), size, x0, y, colour);
    return view.model.NoteWidth(line, layout.x.back());
}

void Paint(OutputView& view)
{
    PAINTSTRUCT paint{};
    HDC screen = BeginPaint(view.window, &paint);
    if (!screen)
        return;
    const SIZE client = ClientSize(view);
    if (!view.canvas || view.canvasSize.cx != client.cx || view.canvasSize.cy != client.cy) {
        if (view.canvas)
            DeleteObject(view.canvas);
        view.canvas = CreateCompatibleBitmap(screen, std::max(1L, client.cx), std::max(1L, client.cy));
        view.canvasSize = client;
    }
    HDC context = CreateCompatibleDC(screen);
    if (!context || !view.canvas) {
        if (context)
            DeleteDC(context);
        EndPaint(view.window, &paint);
        return;
    }
    const HGDIOBJ previousBitmap = SelectObject(context, view.canvas);
    const HGDIOBJ previousFont = SelectObject(context, view.font ? view.font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(context, TRANSPARENT);
    const RECT area = paint.rcPaint;
    Fill(context, area, BackgroundColour(view));
    // Text stays off the outermost ring of pixels, where the focus frame goes and which does not
    // scroll with the text.
    const int saved = SaveDC(context);
    IntersectClipRect(context, 1, 1, client.cx - 1, client.cy - 1);
    bool widened = false;
    const auto [first, end] = view.model.LinesIn(area.top, area.bottom - 1);
    const SelectionColours marked = SelectionColoursOf(view);
    for (std::size_t line = first; line < end; ++line)
        widened = PaintLine(context, view, line, static_cast<int>(view.model.RowTop(line)), marked) || widened;
    RestoreDC(context, saved);
    // The focus shows as a frame inside the border, as the Linux view shows it.
    if (GetFocus() == view.window) {
        const RECT frame{0, 0, client.cx, client.cy};
        FrameRect(context, &frame, GetSysColorBrush(COLOR_HIGHLIGHT));
    }
    BitBlt(screen, area.left, area.top, area.right - area.left, area.bottom - area.top, context, area.left, area.top,
           SRCCOPY);
    SelectObject(context, previousFont);
    SelectObject(context, previousBitmap);
    DeleteDC(context);
    EndPaint(view.window, &paint);
    // A line wider than the range known (after a change of font) widens it.
    if (widened)
        UpdateScrollBars(view);
}

void SetFont(OutputView& view, HFONT font)
{
    view.font = font;
    view.advances.SetFont(font);
    view.dpi = WindowDpi(view.window);
    UpdateFontMetrics(view);
    view.model.Remeasure(Measure(view));
    OnResize(view);
}

// --- the window ----------------------------------------------------------------------------------

void NotifyParent(HWND window, WORD code)
{
    SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), code), reinterpret_cast<LPARAM>(window));
}

LRESULT CALLBACK OutputProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* view = new OutputView;
        view->window = window;
        view->dpi = WindowDpi(window);
        view->model.SetMetrics(1, Scaled(OutputTextMargin, view->dpi));
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    OutputView* view = View(window);
    if (!view)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_NCDESTROY:
        KillTimer(window, DragScrollTimer);
        if (view->canvas)
            DeleteObject(view->canvas);
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete view;
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_SETFONT:
        SetFont(*view, reinterpret_cast<HFONT>(wParam));
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(view->font);
    case WM_SIZE:
        OnResize(*view);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint(*view);
        return 0;
    case WM_GETDLGCODE:
        // Arrows and letters are the view's; Tab leaves it, as it cannot be edited.
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN:
        if (OnKey(*view, wParam))
            return 0;
        break;
    case WM_CHAR:
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (message == WM_KILLFOCUS)
            EndDrag(*view);
        InvalidateRect(window, nullptr, FALSE);
        NotifyParent(window, message == WM_SETFOCUS ? EN_SETFOCUS : EN_KILLFOCUS);
        return 0;
    case WM_ENABLE:
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_VSCROLL:
        OnVerticalBar(*view, LOWORD(wParam));
        return 0;
    case WM_HSCROLL:
        OnHorizontalBar(*view, LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        OnWheel(*view, GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    case WM_MOUSEHWHEEL:
        OnSideWheel(*view, GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        OnPress(*view, PointOf(lParam));
        return 0;
    case WM_LBUTTONDBLCLK:
        SetFocus(window);
        SelectWordAt(*view, PositionAtPoint(*view, PointOf(lParam)));
        view->model.NoteDoubleClick(static_cast<std::uint32_t>(GetMessageTime()));
        view->doubleClickPoint = PointOf(lParam);
        return 0;
    case WM_MOUSEMOVE:
        OnDragMove(*view, PointOf(lParam));
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        EndDrag(*view);
        return 0;
    case WM_TIMER:
        if (wParam == DragScrollTimer && view->dragging)
            OnDragScroll(*view);
        return 0;
    case WM_SETCURSOR:
        NoteUserInput();
        if (LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32513)));   // IDC_IBEAM
            return TRUE;
        }
        break;
    case WM_CONTEXTMENU:
        ShowContextMenu(*view, lParam);
        return 0;
    case WM_GETOBJECT:
        if (static_cast<LONG>(lParam) == OBJID_CLIENT)
            if (const LRESULT object = OutputAccessibleObject(window, wParam, view->name))
                return object;
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

OutputView* EditorView(int editor)
{
    const ControlInfo* control = Control(editor);
    if (!control || control->kind != ControlKind::OutputEditor)
        return nullptr;
    return View(control->handle);
}

}  // namespace

HWND CreateOutputEditor(HWND parent, int number, const RECT& place, const std::wstring& name)
{
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = OutputProc;
        windowClass.hInstance = Instance();
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32513));   // IDC_IBEAM
        windowClass.lpszClassName = OutputClass;
        return RegisterClassExW(&windowClass) != 0;
    }();
    if (!registered)
        return nullptr;
    HWND editor = CreateChild(parent, OutputClass, L"", WS_TABSTOP, WS_EX_CLIENTEDGE, place, number);
    if (editor)
        View(editor)->name = name;
    return editor;
}

std::string OutputEditorText(HWND editor)
{
    const OutputView* view = View(editor);
    return view ? view->model.Text() : std::string();
}

std::wstring OutputShownText(HWND editor)
{
    const OutputView* view = View(editor);
    if (!view || view->model.LineCount() == 0)
        return {};
    const OutputModel& model = view->model;
    const std::size_t end = std::min(model.LineCount(), model.Top() + static_cast<std::size_t>(model.Rows()));
    return TextBetween(*view, {model.Top(), 0}, {end - 1, model.LineLength(end - 1)});
}

bool OutputHasFocus(HWND editor)
{
    return View(editor) && GetFocus() == editor;
}

void ClearOutput(int editor)
{
    OutputView* view = EditorView(editor);
    if (!view)
        return;
    EndDrag(*view);
    view->model.Clear();
    UpdateScrollBars(*view);
    InvalidateRect(view->window, nullptr, FALSE);
    NotifyShownTextChanged(*view);
}

void AppendLine(int editor, std::string_view line)
{
    OutputView* view = EditorView(editor);
    if (!view)
        return;
    const std::size_t top = view->model.Top();
    view->model.Append(line, Measure(*view));
    UpdateScrollBars(*view);
    ShowScrolled(*view, top, view->model.Left());
    const std::size_t index = view->model.LineCount() - 1;
    if (index >= view->model.Top() && index <= view->model.Top() + static_cast<std::size_t>(view->model.Rows())) {
        const RECT row = RowRect(*view, index);
        InvalidateRect(view->window, &row, FALSE);
        NotifyShownTextChanged(*view);
    }
}

void SetTextColour(int editor, Rgb colour)
{
    OutputView* view = EditorView(editor);
    // Only what is in sight is painted again, however long the text.
    if (!view || view->colour == colour)
        return;
    view->colour = colour;
    InvalidateRect(view->window, nullptr, FALSE);
}

void ShowFirstLine(int editor)
{
    OutputView* view = EditorView(editor);
    if (!view)
        return;
    SetTop(*view, 0);
    SetLeft(*view, 0);
}
