// The output editor of the Win32 front end: a window of our own over the line store that paints
// only the lines in sight, so that a line costs a few bytes however long polling runs. It gives
// what a read-only rich edit gave: scroll bars, the wheel and the keys, selection with mouse and
// keyboard, copying, a context menu, one colour for all the text, no wrap, tab stops every half
// inch. What screen readers read it through is in output_accessible.cpp.
//
// A rich edit was measured first (Wine 8): every appended line kept 2.6 to 6.5 KB of its heap
// (its own record of each paragraph, the same with undo off), a tick grew with the text, and a
// change of colour went over every line.
#include "platform/windows/desktop.h"

#include <commdlg.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/layout.h"
#include "platform/output_file.h"
#include "utils/line_store.h"

#include <algorithm>
#include <climits>
#include <compare>
#include <memory>

namespace {

constexpr wchar_t OutputClass[] = L"SkarvelOutput";

// Lengths at 96 dpi.
constexpr int TextMargin = 4;         // around the text, as the Linux view has it
constexpr int HorizontalStep = 20;    // pixels per click on the horizontal bar's arrow

constexpr UINT_PTR DragScrollTimer = 1;
constexpr UINT DragScrollMs = 50;     // while a drag is held outside the view

constexpr UINT CopyCommand = 1;
constexpr UINT SelectAllCommand = 2;
constexpr UINT SaveCommand = 3;
constexpr wchar_t CopyText[] = L"Kopieren\tStrg+C";
constexpr wchar_t SelectAllText[] = L"Alles auswählen\tStrg+A";

// A place in the text: a line, and a column in that line's UTF-16 text.
struct Position {
    std::size_t line = 0;
    int column = 0;
    friend auto operator<=>(const Position&, const Position&) = default;
};

// One line as it is drawn: its text and where each of its characters begins.
struct LineLayout {
    std::wstring text;
    std::vector<int> x;   // x[i]: the left edge of character i from the text's start; x[size]: its end
};

struct OutputView {
    HWND window = nullptr;
    std::wstring name;                // what a screen reader calls it
    LineStore lines;
    HFONT font = nullptr;             // the desktop's; it deletes it
    int dpi = 96;
    int lineHeight = 1;
    int breakWidth = 1;               // a selected line break is shown this wide
    std::optional<Rgb> colour;        // none: the system's colours
    std::size_t top = 0;              // the first line in sight
    int left = 0;                     // pixels scrolled to the right
    int rows = 1;                     // whole lines in sight, as of the last count
    Position anchor, cursor;          // the selection; the cursor is where keys move from
    std::optional<int> goalX;         // where Up and Down aim, kept across a run of them
    bool dragging = false;
    POINT dragPoint{};
    DWORD doubleClickTime = 0;        // a press soon after a double click selects the line
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

int Scaled(const OutputView& view, int length)
{
    return MulDiv(length, view.dpi, 96);
}

SIZE ClientSize(const OutputView& view)
{
    RECT client{};
    GetClientRect(view.window, &client);
    return {client.right, client.bottom};
}

// --- measuring -------------------------------------------------------------------------------

// The view's font in a context of its window, for measuring.
class MeasuringContext {
public:
    explicit MeasuringContext(const OutputView& view) : window_(view.window), context_(GetDC(view.window))
    {
        previous_ = SelectObject(context_, view.font ? view.font : GetStockObject(DEFAULT_GUI_FONT));
    }
    ~MeasuringContext()
    {
        SelectObject(context_, previous_);
        ReleaseDC(window_, context_);
    }
    MeasuringContext(const MeasuringContext&) = delete;
    MeasuringContext& operator=(const MeasuringContext&) = delete;
    HDC Get() const { return context_; }

private:
    HWND window_;
    HDC context_;
    HGDIOBJ previous_;
};

// Tabs go to the next stop past the text before them.
LineLayout LayOut(HDC context, const OutputView& view, std::wstring text)
{
    LineLayout layout;
    layout.text = std::move(text);
    const std::wstring& line = layout.text;
    layout.x.assign(line.size() + 1, 0);
    const int tabStop = std::max(1, Scaled(view, OutputTabStop));
    std::vector<int> extents;
    int x = 0;
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] == L'\t') {
            x = (x / tabStop + 1) * tabStop;
            layout.x[++i] = x;
            continue;
        }
        const std::size_t end = std::min(line.find(L'\t', i), line.size());
        const int count = static_cast<int>(std::min<std::size_t>(end - i, INT_MAX));
        extents.assign(static_cast<std::size_t>(count), 0);
        SIZE size{};
        GetTextExtentExPointW(context, line.data() + i, count, 0, nullptr, extents.data(), &size);
        for (int k = 0; k < count; ++k)
            layout.x[i + static_cast<std::size_t>(k) + 1] = x + extents[static_cast<std::size_t>(k)];
        x += count > 0 ? extents.back() : 0;
        i = end;
    }
    return layout;
}

LineLayout LayOutLine(HDC context, const OutputView& view, std::size_t line)
{
    return LayOut(context, view, Wide(view.lines.Line(line)));
}

std::uint32_t MeasuredWidth(HDC context, const OutputView& view, std::wstring text)
{
    return static_cast<std::uint32_t>(std::max(0, LayOut(context, view, std::move(text)).x.back()));
}

int LineLength(const OutputView& view, std::size_t line)
{
    return static_cast<int>(Wide(view.lines.Line(line)).size());
}

void UpdateFontMetrics(OutputView& view)
{
    const MeasuringContext context(view);
    TEXTMETRICW metrics{};
    GetTextMetricsW(context.Get(), &metrics);
    view.lineHeight = std::max(1, static_cast<int>(metrics.tmHeight));
    SIZE space{};
    GetTextExtentPoint32W(context.Get(), L" ", 1, &space);
    view.breakWidth = std::max(1, static_cast<int>(space.cx));
}

// --- the view's place in the text ----------------------------------------------------------------

int CountRows(const OutputView& view)
{
    return std::max(1, static_cast<int>(ClientSize(view).cy - Scaled(view, TextMargin)) / view.lineHeight);
}

std::size_t LastTop(const OutputView& view)
{
    const auto rows = static_cast<std::size_t>(view.rows);
    return view.lines.Count() > rows ? view.lines.Count() - rows : 0;
}

bool AtBottom(const OutputView& view)
{
    return view.top >= LastTop(view);
}

int LastLeft(const OutputView& view)
{
    const long long textWidth = static_cast<long long>(view.lines.WidestWidth()) + 2LL * Scaled(view, TextMargin);
    return static_cast<int>(std::clamp<long long>(textWidth - ClientSize(view).cx, 0, INT_MAX));
}

// The rows of text, below the top margin and inside the focus frame: what scrolls.
RECT TextArea(const OutputView& view)
{
    const SIZE client = ClientSize(view);
    return {1, Scaled(view, TextMargin), std::max(1L, client.cx - 1), std::max(1L, client.cy - 1)};
}

RECT RowRect(const OutputView& view, std::size_t line)
{
    const long long row = static_cast<long long>(line) - static_cast<long long>(view.top);
    const long long y = Scaled(view, TextMargin) + row * view.lineHeight;
    const int top = static_cast<int>(std::clamp<long long>(y, INT_MIN / 2, INT_MAX / 2));
    return {0, top, ClientSize(view).cx, top + view.lineHeight};
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
    const std::size_t count = view.lines.Count();
    SetBar(view, SB_VERT, count > 0 ? Clamped(count - 1) : 0, view.rows, Clamped(view.top));
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
        view.left = std::min(view.left, LastLeft(view));
        const int width = static_cast<int>(ClientSize(view).cx);
        SetBar(view, SB_HORZ, LastLeft(view) + width - 1, width, view.left);
        if (!view.barsAgain)
            break;
    }
    view.settingBars = false;
}

// Moves what is painted already rather than painting it again: a tick at the bottom paints a line.
void SetTop(OutputView& view, std::size_t top)
{
    top = std::min(top, LastTop(view));
    if (top == view.top)
        return;
    const long long rows = static_cast<long long>(top) - static_cast<long long>(view.top);
    view.top = top;
    const RECT area = TextArea(view);
    if (std::llabs(rows) * view.lineHeight < area.bottom - area.top)
        ScrollWindowEx(view.window, 0, static_cast<int>(-rows * view.lineHeight), &area, &area, nullptr, nullptr,
                       SW_INVALIDATE);
    else
        InvalidateRect(view.window, nullptr, FALSE);
    SetVerticalBar(view);
    NotifyShownTextChanged(view);
}

void SetLeft(OutputView& view, int left)
{
    left = std::clamp(left, 0, LastLeft(view));
    if (left == view.left)
        return;
    view.left = left;
    InvalidateRect(view.window, nullptr, FALSE);
    UpdateScrollBars(view);
}

// The window changed its size: the view keeps to the bottom if it was there.
void OnResize(OutputView& view)
{
    const bool follow = AtBottom(view);
    view.rows = CountRows(view);
    view.top = follow ? LastTop(view) : std::min(view.top, LastTop(view));
    UpdateScrollBars(view);
    InvalidateRect(view.window, nullptr, FALSE);
}

int ColumnX(const OutputView& view, Position position)
{
    const MeasuringContext context(view);
    const LineLayout layout = LayOutLine(context.Get(), view, position.line);
    return layout.x[static_cast<std::size_t>(std::clamp(position.column, 0, static_cast<int>(layout.text.size())))];
}

// The least scrolling that brings the place into sight.
void ScrollTo(OutputView& view, Position position)
{
    if (position.line < view.top)
        SetTop(view, position.line);
    else if (position.line >= view.top + static_cast<std::size_t>(view.rows))
        SetTop(view, position.line - static_cast<std::size_t>(view.rows) + 1);
    const int margin = Scaled(view, TextMargin);
    const int x = ColumnX(view, position) + margin;
    const int width = static_cast<int>(ClientSize(view).cx);
    if (x < view.left + margin)
        SetLeft(view, x - margin);
    else if (x >= view.left + width - margin)
        SetLeft(view, x - width + margin + 1);
}

// --- positions -----------------------------------------------------------------------------------

Position EndOfText(const OutputView& view)
{
    if (view.lines.Count() == 0)
        return {};
    return {view.lines.Count() - 1, LineLength(view, view.lines.Count() - 1)};
}

bool IsTrailingSurrogate(wchar_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The column nearest to x (from the text's start), never inside a surrogate pair.
int ColumnAt(const LineLayout& layout, int x)
{
    const int size = static_cast<int>(layout.text.size());
    for (int i = 0; i < size; ++i) {
        if (IsTrailingSurrogate(layout.text[static_cast<std::size_t>(i)]))
            continue;
        int next = i + 1;
        while (next < size && IsTrailingSurrogate(layout.text[static_cast<std::size_t>(next)]))
            ++next;
        if (x < (layout.x[static_cast<std::size_t>(i)] + layout.x[static_cast<std::size_t>(next)]) / 2)
            return i;
    }
    return size;
}

Position PositionAtPoint(const OutputView& view, POINT point)
{
    if (view.lines.Count() == 0)
        return {};
    const int offset = point.y - Scaled(view, TextMargin);
    const long long row = offset >= 0 ? offset / view.lineHeight : -((-offset + view.lineHeight - 1) / view.lineHeight);
    const long long line = static_cast<long long>(view.top) + row;
    if (line < 0)
        return {};
    if (line >= static_cast<long long>(view.lines.Count()))
        return EndOfText(view);
    const MeasuringContext context(view);
    const LineLayout layout = LayOutLine(context.Get(), view, static_cast<std::size_t>(line));
    return {static_cast<std::size_t>(line), ColumnAt(layout, point.x - Scaled(view, TextMargin) + view.left)};
}

bool IsWordCharacter(wchar_t c)
{
    return c == L'_' || IsCharAlphaNumericW(c);
}

// --- selection and copying -------------------------------------------------------------------

bool HasSelection(const OutputView& view)
{
    return view.anchor != view.cursor;
}

// The text from one place to another, lines joined by CR LF as Windows copies text.
std::wstring TextBetween(const OutputView& view, Position from, Position to)
{
    if (view.lines.Count() == 0 || to <= from)
        return {};
    const auto part = [&](std::size_t line, int start, int end) {
        const std::wstring text = Wide(view.lines.Line(line));
        const auto first = static_cast<std::size_t>(std::clamp(start, 0, static_cast<int>(text.size())));
        const auto last = static_cast<std::size_t>(std::clamp(end, 0, static_cast<int>(text.size())));
        return text.substr(first, last > first ? last - first : 0);
    };
    if (from.line == to.line)
        return part(from.line, from.column, to.column);
    std::wstring text = part(from.line, from.column, INT_MAX) + L"\r\n";
    if (to.line > from.line + 1) {
        const std::wstring middle = Wide(view.lines.Text(from.line + 1, to.line));
        text.reserve(text.size() + middle.size() * 2);
        for (const wchar_t c : middle) {
            if (c == L'\n')
                text += L'\r';
            text += c;
        }
        text += L"\r\n";
    }
    return text + part(to.line, 0, to.column);
}

std::wstring SelectedText(const OutputView& view)
{
    const auto [from, to] = std::minmax(view.anchor, view.cursor);
    return TextBetween(view, from, to);
}

void Copy(const OutputView& view)
{
    if (!HasSelection(view) || !OpenClipboard(view.window))
        return;
    const std::wstring text = SelectedText(view);
    EmptyClipboard();
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
        if (void* bytes = GlobalLock(memory)) {
            std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(bytes));
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_UNICODETEXT, memory))
                GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

void Select(OutputView& view, Position anchor, Position cursor)
{
    view.anchor = anchor;
    view.cursor = cursor;
    view.goalX.reset();
    InvalidateRect(view.window, nullptr, FALSE);
    NotifyWinEvent(EVENT_OBJECT_SELECTION, view.window, OBJID_CLIENT, CHILDID_SELF);
}

void SelectAll(OutputView& view)
{
    Select(view, {}, EndOfText(view));
}

void SelectWordAt(OutputView& view, Position at)
{
    const std::wstring text = Wide(view.lines.Line(at.line));
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

void SelectLineAt(OutputView& view, Position at)
{
    const bool last = at.line + 1 >= view.lines.Count();
    Select(view, {at.line, 0}, last ? Position{at.line, LineLength(view, at.line)} : Position{at.line + 1, 0});
}

// --- keyboard ------------------------------------------------------------------------------------

enum class Move { NextChar, PreviousChar, NextWord, PreviousWord, NextLine, PreviousLine, NextPage, PreviousPage,
                  StartOfLine, EndOfLine, StartOfText, EndOfText };

Position Target(const OutputView& view, Move move, int goalX)
{
    if (view.lines.Count() == 0)
        return {};
    const std::size_t last = view.lines.Count() - 1;
    Position at = view.cursor;
    const std::wstring text = Wide(view.lines.Line(at.line));
    const int size = static_cast<int>(text.size());
    const auto c = [&](int column) { return text[static_cast<std::size_t>(column)]; };
    switch (move) {
    case Move::NextChar:
        if (at.column >= size)
            return at.line < last ? Position{at.line + 1, 0} : at;
        ++at.column;
        while (at.column < size && IsTrailingSurrogate(c(at.column)))
            ++at.column;
        return at;
    case Move::PreviousChar:
        if (at.column <= 0)
            return at.line > 0 ? Position{at.line - 1, LineLength(view, at.line - 1)} : at;
        --at.column;
        while (at.column > 0 && IsTrailingSurrogate(c(at.column)))
            --at.column;
        return at;
    case Move::NextWord:
        // To the start of the next word, as in a Windows edit.
        if (at.column >= size)
            return at.line < last ? Position{at.line + 1, 0} : at;
        while (at.column < size && IsWordCharacter(c(at.column)))
            ++at.column;
        while (at.column < size && !IsWordCharacter(c(at.column)))
            ++at.column;
        return at;
    case Move::PreviousWord:
        if (at.column <= 0)
            return at.line > 0 ? Position{at.line - 1, LineLength(view, at.line - 1)} : at;
        while (at.column > 0 && !IsWordCharacter(c(at.column - 1)))
            --at.column;
        while (at.column > 0 && IsWordCharacter(c(at.column - 1)))
            --at.column;
        return at;
    case Move::NextLine:
    case Move::PreviousLine:
    case Move::NextPage:
    case Move::PreviousPage: {
        const long long step = (move == Move::NextPage || move == Move::PreviousPage) ? view.rows : 1;
        const bool down = move == Move::NextLine || move == Move::NextPage;
        // Past the first or the last line, the move goes to the start or the end of the text.
        if (down && at.line == last)
            return EndOfText(view);
        if (!down && at.line == 0)
            return {};
        const auto line = static_cast<std::size_t>(std::clamp<long long>(
            static_cast<long long>(at.line) + (down ? step : -step), 0, static_cast<long long>(last)));
        const MeasuringContext context(view);
        return {line, ColumnAt(LayOutLine(context.Get(), view, line), goalX)};
    }
    case Move::StartOfLine:
        return {at.line, 0};
    case Move::EndOfLine:
        return {at.line, size};
    case Move::StartOfText:
        return {};
    case Move::EndOfText:
        return EndOfText(view);
    }
    return at;
}

void MoveCursor(OutputView& view, Position to, bool select)
{
    view.cursor = to;
    if (!select)
        view.anchor = to;
    ScrollTo(view, to);
    InvalidateRect(view.window, nullptr, FALSE);
    NotifyWinEvent(EVENT_OBJECT_SELECTION, view.window, OBJID_CLIENT, CHILDID_SELF);
}

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
    std::optional<Move> move;
    switch (key) {
    case VK_RIGHT: move = control ? Move::NextWord : Move::NextChar; break;
    case VK_LEFT: move = control ? Move::PreviousWord : Move::PreviousChar; break;
    case VK_DOWN: move = Move::NextLine; break;
    case VK_UP: move = Move::PreviousLine; break;
    case VK_NEXT: move = Move::NextPage; break;
    case VK_PRIOR: move = Move::PreviousPage; break;
    case VK_HOME: move = control ? Move::StartOfText : Move::StartOfLine; break;
    case VK_END: move = control ? Move::EndOfText : Move::EndOfLine; break;
    default: return false;
    }
    // Up and Down keep aiming at the column where a run of them began.
    const bool vertical = *move == Move::NextLine || *move == Move::PreviousLine || *move == Move::NextPage
                          || *move == Move::PreviousPage;
    const int goal = vertical ? view.goalX.value_or(ColumnX(view, view.cursor)) : 0;
    const Position to = Target(view, *move, goal);
    MoveCursor(view, to, shift);
    view.goalX = vertical ? std::optional(goal) : std::nullopt;
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
    const long long top = static_cast<long long>(view.top);
    long long to = top;
    switch (request) {
    case SB_LINEUP: to = top - 1; break;
    case SB_LINEDOWN: to = top + 1; break;
    case SB_PAGEUP: to = top - view.rows; break;
    case SB_PAGEDOWN: to = top + view.rows; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: to = TrackPosition(view.window, SB_VERT); break;
    case SB_TOP: to = 0; break;
    case SB_BOTTOM: to = static_cast<long long>(LastTop(view)); break;
    default: return;
    }
    SetTop(view, static_cast<std::size_t>(std::max(0LL, to)));
}

void OnHorizontalBar(OutputView& view, int request)
{
    const int step = Scaled(view, HorizontalStep);
    const int page = static_cast<int>(ClientSize(view).cx);
    switch (request) {
    case SB_LINELEFT: SetLeft(view, view.left - step); break;
    case SB_LINERIGHT: SetLeft(view, view.left + step); break;
    case SB_PAGELEFT: SetLeft(view, view.left - page); break;
    case SB_PAGERIGHT: SetLeft(view, view.left + page); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: SetLeft(view, TrackPosition(view.window, SB_HORZ)); break;
    case SB_LEFT: SetLeft(view, 0); break;
    case SB_RIGHT: SetLeft(view, LastLeft(view)); break;
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
    const long long step = lines == WHEEL_PAGESCROLL ? view.rows : static_cast<long long>(lines);
    SetTop(view, static_cast<std::size_t>(std::max(0LL, static_cast<long long>(view.top) - notches * step)));
}

void OnSideWheel(OutputView& view, int delta)
{
    view.sideWheelRest += delta;
    const int notches = view.sideWheelRest / WHEEL_DELTA;
    view.sideWheelRest -= notches * WHEEL_DELTA;
    SetLeft(view, view.left + notches * Scaled(view, HorizontalStep));
}

// --- mouse ---------------------------------------------------------------------------------------

POINT PointOf(LPARAM lParam)
{
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

void DragTo(OutputView& view, POINT point)
{
    view.dragPoint = point;
    view.cursor = PositionAtPoint(view, point);
    InvalidateRect(view.window, nullptr, FALSE);
}

void OnPress(OutputView& view, POINT point)
{
    SetFocus(view.window);
    const Position at = PositionAtPoint(view, point);
    const bool tripleClick = GetMessageTime() - static_cast<LONG>(view.doubleClickTime) < static_cast<LONG>(GetDoubleClickTime())
                             && std::abs(point.x - view.doubleClickPoint.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2
                             && std::abs(point.y - view.doubleClickPoint.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
    view.doubleClickTime = 0;
    if (tripleClick) {
        SelectLineAt(view, at);
        return;
    }
    Select(view, GetKeyState(VK_SHIFT) < 0 ? view.anchor : at, at);
    view.dragging = true;
    view.dragPoint = point;
    SetCapture(view.window);
}

void OnDragMove(OutputView& view, POINT point)
{
    if (!view.dragging)
        return;
    DragTo(view, point);
    RECT client{};
    GetClientRect(view.window, &client);
    if (PtInRect(&client, point))
        KillTimer(view.window, DragScrollTimer);
    else
        SetTimer(view.window, DragScrollTimer, DragScrollMs, nullptr);
}

void EndDrag(OutputView& view)
{
    if (!view.dragging)
        return;
    view.dragging = false;
    KillTimer(view.window, DragScrollTimer);
    if (GetCapture() == view.window)
        ReleaseCapture();
    NotifyWinEvent(EVENT_OBJECT_SELECTION, view.window, OBJID_CLIENT, CHILDID_SELF);
}

void OnDragScroll(OutputView& view)
{
    RECT client{};
    GetClientRect(view.window, &client);
    const POINT point = view.dragPoint;
    if (point.y < client.top)
        OnVerticalBar(view, SB_LINEUP);
    else if (point.y >= client.bottom)
        OnVerticalBar(view, SB_LINEDOWN);
    if (point.x < client.left)
        OnHorizontalBar(view, SB_LINELEFT);
    else if (point.x >= client.right)
        OnHorizontalBar(view, SB_LINERIGHT);
    DragTo(view, point);
}

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

// Asks where to with the common save dialog, and writes the whole output there, a line per line.
void SaveToFile(OutputView& view)
{
    std::wstring file = Wide(SuggestedOutputFileName(std::chrono::system_clock::now()));
    file.resize(32768, L'\0');
    const std::wstring folder = DocumentsFolder();
    const std::wstring title = Wide(SaveOutputDialogTitle);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetAncestor(view.window, GA_ROOT);
    dialog.lpstrFilter = L"Textdateien (*.txt)\0*.txt\0Alle Dateien (*.*)\0*.*\0";
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrDefExt = L"txt";
    // Whether the file can be written is found out by writing it, and told in the program's message.
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY
                   | OFN_NOTESTFILECREATE;
    bool chosen = false;
    {
        const EventQueue::ModalScope modal(WindowEvents());
        chosen = GetSaveFileNameW(&dialog) != 0;
    }
    if (!chosen)
        return;
    file.resize(wcslen(file.c_str()));
    // The window is painted on meanwhile, but takes no input: the pointer says it is busy.
    const HCURSOR previous = SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));   // IDC_WAIT
    std::string problem;
    const bool saved = SaveOutputLines(
        std::filesystem::path(file), view.lines.Count(), [&view](std::size_t index) { return view.lines.Line(index); },
        "\r\n", [] { DispatchKeepAlive(); }, problem);
    SetCursor(previous);
    if (!saved)
        MessageDialog(SaveOutputProblemTitle, problem);
}

void ShowContextMenu(OutputView& view, LPARAM lParam)
{
    POINT at = PointOf(lParam);
    if (at.x == -1 && at.y == -1) {
        // From the keyboard: at the cursor, or the view's corner when the cursor is out of sight.
        const RECT row = RowRect(view, view.cursor.line);
        const int x = Scaled(view, TextMargin) - view.left + ColumnX(view, view.cursor);
        RECT client{};
        GetClientRect(view.window, &client);
        at = {std::clamp(x, 0, static_cast<int>(client.right)), std::clamp(static_cast<int>(row.bottom), 0, static_cast<int>(client.bottom))};
        ClientToScreen(view.window, &at);
    }
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuW(menu, MF_STRING | (HasSelection(view) ? 0 : MF_GRAYED), CopyCommand, CopyText);
    AppendMenuW(menu, MF_STRING | (view.lines.Count() > 0 ? 0 : MF_GRAYED), SelectAllCommand, SelectAllText);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, SaveCommand, Wide(SaveOutputMenuText).c_str());
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, view.window, nullptr));
    DestroyMenu(menu);
    if (chosen == CopyCommand)
        Copy(view);
    else if (chosen == SelectAllCommand)
        SelectAll(view);
    else if (chosen == SaveCommand)
        SaveToFile(view);
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

void Fill(HDC context, const RECT& area, COLORREF colour)
{
    SetDCBrushColor(context, colour);
    FillRect(context, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// Draws characters [from, to) of the line in one colour, placed where the layout measured them.
void DrawRun(HDC context, const LineLayout& layout, int from, int to, int x0, int y, COLORREF colour)
{
    std::vector<int> advances;
    for (int start = from; start < to;) {
        if (layout.text[static_cast<std::size_t>(start)] == L'\t') {
            ++start;
            continue;
        }
        int end = start;
        while (end < to && layout.text[static_cast<std::size_t>(end)] != L'\t')
            ++end;
        advances.clear();
        for (int i = start; i < end; ++i)
            advances.push_back(layout.x[static_cast<std::size_t>(i) + 1] - layout.x[static_cast<std::size_t>(i)]);
        SetTextColor(context, colour);
        ExtTextOutW(context, x0 + layout.x[static_cast<std::size_t>(start)], y, 0, nullptr,
                    layout.text.data() + start, static_cast<UINT>(end - start), advances.data());
        start = end;
    }
}

void PaintLine(HDC context, const OutputView& view, std::size_t line, int y)
{
    const LineLayout layout = LayOutLine(context, view, line);
    const int size = static_cast<int>(layout.text.size());
    const int x0 = Scaled(view, TextMargin) - view.left;
    int selectedFrom = 0, selectedTo = 0;
    bool breakSelected = false;
    const auto [from, to] = std::minmax(view.anchor, view.cursor);
    if (from != to && from.line <= line && line <= to.line) {
        selectedFrom = line == from.line ? std::clamp(from.column, 0, size) : 0;
        selectedTo = line == to.line ? std::clamp(to.column, 0, size) : size;
        breakSelected = line < to.line;
        const bool focused = GetFocus() == view.window;
        const COLORREF highlight = GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
        const int right = x0 + layout.x[static_cast<std::size_t>(selectedTo)] + (breakSelected ? view.breakWidth : 0);
        Fill(context, {x0 + layout.x[static_cast<std::size_t>(selectedFrom)], y, right, y + view.lineHeight}, highlight);
    }
    const COLORREF colour = TextColour(view);
    const COLORREF selectedColour = GetSysColor(GetFocus() == view.window ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT);
    DrawRun(context, layout, 0, selectedFrom, x0, y, colour);
    DrawRun(context, layout, selectedFrom, selectedTo, x0, y, selectedColour);
    DrawRun(context, layout, std::max(selectedFrom, selectedTo), size, x0, y, colour);
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
    const int margin = Scaled(view, TextMargin);
    // Text stays off the outermost ring of pixels, where the focus frame goes and which does not
    // scroll with the text.
    const int saved = SaveDC(context);
    IntersectClipRect(context, 1, 1, client.cx - 1, client.cy - 1);
    const long long firstRow = std::max(0L, (area.top - margin) / view.lineHeight);
    const long long lastRow = std::max(0L, (area.bottom - 1 - margin) / view.lineHeight);
    for (long long row = firstRow; row <= lastRow; ++row) {
        const std::size_t line = view.top + static_cast<std::size_t>(row);
        if (line >= view.lines.Count())
            break;
        PaintLine(context, view, line, static_cast<int>(margin + row * view.lineHeight));
    }
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
}

void SetFont(OutputView& view, HFONT font)
{
    view.font = font;
    view.dpi = WindowDpi(view.window);
    UpdateFontMetrics(view);
    // Every line measured anew for the scroll range: a change of font or dpi is rare.
    {
        const MeasuringContext context(view);
        std::uint32_t widest = 0;
        for (std::size_t line = 0; line < view.lines.Count(); ++line)
            widest = std::max(widest, MeasuredWidth(context.Get(), view, Wide(view.lines.Line(line))));
        view.lines.SetWidestWidth(widest);
    }
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
        view->doubleClickTime = static_cast<DWORD>(GetMessageTime());
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
    return view ? view->lines.Text() : std::string();
}

std::wstring OutputShownText(HWND editor)
{
    const OutputView* view = View(editor);
    if (!view || view->lines.Count() == 0)
        return {};
    const std::size_t end = std::min(view->lines.Count(), view->top + static_cast<std::size_t>(view->rows));
    return TextBetween(*view, {view->top, 0}, {end - 1, LineLength(*view, end - 1)});
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
    view->lines.Clear();
    view->top = 0;
    view->left = 0;
    view->anchor = view->cursor = {};
    view->goalX.reset();
    UpdateScrollBars(*view);
    InvalidateRect(view->window, nullptr, FALSE);
    NotifyShownTextChanged(*view);
}

void AppendLine(int editor, std::string_view line)
{
    OutputView* view = EditorView(editor);
    if (!view)
        return;
    const bool follow = AtBottom(*view);
    std::uint32_t width = 0;
    {
        const MeasuringContext context(*view);
        width = MeasuredWidth(context.Get(), *view, Wide(line));
    }
    view->lines.Append(line, width);
    const std::size_t index = view->lines.Count() - 1;
    UpdateScrollBars(*view);
    if (follow)
        SetTop(*view, LastTop(*view));
    if (index >= view->top && index <= view->top + static_cast<std::size_t>(view->rows)) {
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
