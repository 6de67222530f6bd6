#include "platform/shared/output_model.h"

#include <algorithm>
#include <climits>

namespace {

// Decodes one UTF-8 sequence at `text[i]`; a broken one counts as one byte of U+FFFD.
char32_t Decode(std::string_view text, std::size_t& i)
{
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    const int length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t code = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        const unsigned char next = byte(i + static_cast<std::size_t>(k));
        if ((next & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        code = code << 6 | (next & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += static_cast<std::size_t>(length);
    return code;
}

std::size_t Utf16Length(std::string_view text)
{
    std::size_t length = 0;
    for (std::size_t i = 0; i < text.size();)
        length += Decode(text, i) >= 0x10000 ? 2 : 1;
    return length;
}

// The byte at which a column begins; a column inside a surrogate pair counts from its character's
// start, one past the line's end from the line's end.
std::size_t ByteOfColumn(std::string_view line, int column)
{
    std::size_t i = 0;
    for (int units = 0; i < line.size() && units < column;) {
        const std::size_t at = i;
        units += Decode(line, i) >= 0x10000 ? 2 : 1;
        if (units > column)
            return at;
    }
    return i;
}

int Column(std::size_t length)
{
    return static_cast<int>(std::min<std::size_t>(length, INT_MAX));
}

}  // namespace

std::u16string Utf16(std::string_view text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t code = Decode(text, i);
        if (code >= 0x10000) {
            wide += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            wide += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<char16_t>(code);
        }
    }
    return wide;
}

// --- the lines -----------------------------------------------------------------------------------

void OutputModel::Append(std::string_view line, const OutputMeasure& measure)
{
    const bool follow = AtBottom() && !dragging_ && !(selectionHolds_ && HasSelection());
    const std::u16string text = Utf16(line);
    const int width = std::max(0, measure.Width(text));
    const std::size_t index = lines_.Count();
    if (index == 0 || static_cast<std::uint32_t>(width) > lines_.WidestWidth())
        widestLine_ = index;
    if (index == 0 || text.size() > longestLength_) {
        longestLine_ = index;
        longestLength_ = text.size();
    }
    characters_ = (index == 0 ? 0 : characters_ + 1) + static_cast<std::int64_t>(text.size());
    lines_.Append(line, static_cast<std::uint32_t>(width));
    KeepInRange(follow);
}

void OutputModel::Clear()
{
    lines_.Clear();
    characters_ = 0;
    widestLine_ = longestLine_ = longestLength_ = 0;
    top_ = 0;
    left_ = 0;
    anchor_ = cursor_ = {};
    goalX_.reset();
    dragging_ = dragFromBottom_ = selectionHolds_ = false;
    std::vector<std::int64_t>().swap(lineOffsets_);
}

int OutputModel::LineLength(std::size_t index) const
{
    return Column(Utf16Length(lines_.Line(index)));
}

OutputPosition OutputModel::EndOfText() const
{
    if (lines_.Count() == 0)
        return {};
    return {lines_.Count() - 1, LineLength(lines_.Count() - 1)};
}

// --- the widest line -------------------------------------------------------------------------------

bool OutputModel::NoteWidth(std::size_t line, int width)
{
    if (line >= lines_.Count() || width < 0 || static_cast<std::uint32_t>(width) <= lines_.WidestWidth())
        return false;
    lines_.SetWidestWidth(static_cast<std::uint32_t>(width));
    widestLine_ = line;
    return true;
}

void OutputModel::Remeasure(const OutputMeasure& measure)
{
    if (lines_.Count() == 0)
        return;
    const int widest = std::max(0, measure.Width(LineText(widestLine_)));
    const int longest = longestLine_ == widestLine_ ? widest : std::max(0, measure.Width(LineText(longestLine_)));
    if (longest > widest)
        widestLine_ = longestLine_;
    lines_.SetWidestWidth(static_cast<std::uint32_t>(std::max(widest, longest)));
    left_ = std::min(left_, LastLeft());
}

// --- the view ------------------------------------------------------------------------------------

void OutputModel::SetMetrics(int lineHeight, int margin)
{
    const bool follow = AtBottom();
    lineHeight_ = std::max(1, lineHeight);
    margin_ = margin;
    rows_ = std::max(1, (height_ - margin_) / lineHeight_);
    KeepInRange(follow);
}

void OutputModel::SetViewSize(int width, int height)
{
    const bool follow = AtBottom();
    width_ = width;
    height_ = height;
    rows_ = std::max(1, (height_ - margin_) / lineHeight_);
    KeepInRange(follow);
}

void OutputModel::KeepInRange(bool follow)
{
    top_ = follow ? LastTop() : std::min(top_, LastTop());
    left_ = std::min(left_, LastLeft());
}

std::size_t OutputModel::LastTop() const
{
    const auto rows = static_cast<std::size_t>(rows_);
    return lines_.Count() > rows ? lines_.Count() - rows : 0;
}

int OutputModel::LastLeft() const
{
    const long long textWidth = static_cast<long long>(lines_.WidestWidth()) + 2LL * margin_;
    return static_cast<int>(std::clamp<long long>(textWidth - width_, 0, INT_MAX));
}

void OutputModel::SetTop(std::size_t top)
{
    const bool away = !AtBottom();
    const std::size_t before = top_;
    top_ = std::min(top, LastTop());
    if (top_ != before)
        dragFromBottom_ = false;
    // Brought back to the bottom, the view follows again, a selection or not.
    if (away && AtBottom() && !dragging_)
        selectionHolds_ = false;
}

void OutputModel::SetLeft(int left)
{
    left_ = std::clamp(left, 0, LastLeft());
}

void OutputModel::ScrollTo(OutputPosition position, const OutputMeasure& measure)
{
    const auto rows = static_cast<std::size_t>(rows_);
    if (position.line < top_)
        SetTop(position.line);
    else if (position.line >= top_ + rows)
        SetTop(position.line - rows + 1);
    const int x = measure.ColumnX(LineText(position.line), position.column) + margin_;
    if (x < left_ + margin_)
        SetLeft(x - margin_);
    else if (x >= left_ + width_ - margin_)
        SetLeft(x - width_ + margin_ + 1);
}

// Floor division, so that points above the first row count as rows above it.
std::int64_t OutputModel::RowAt(int y) const
{
    const std::int64_t offset = static_cast<std::int64_t>(y) - margin_;
    return offset >= 0 ? offset / lineHeight_ : -((-offset + lineHeight_ - 1) / lineHeight_);
}

std::int64_t OutputModel::RowTop(std::size_t line) const
{
    const std::int64_t row = static_cast<std::int64_t>(line) - static_cast<std::int64_t>(top_);
    return margin_ + row * lineHeight_;
}

std::pair<std::size_t, std::size_t> OutputModel::LinesIn(int top, int bottom) const
{
    const std::int64_t first = std::max<std::int64_t>(0, RowAt(top));
    const std::int64_t last = RowAt(bottom);
    const std::size_t from = std::min(lines_.Count(), top_ + static_cast<std::size_t>(first));
    if (last < first)
        return {from, from};
    return {from, std::min(lines_.Count(), top_ + static_cast<std::size_t>(last) + 1)};
}

OutputPosition OutputModel::PositionAt(int x, int y, const OutputMeasure& measure) const
{
    if (lines_.Count() == 0)
        return {};
    const std::int64_t line = static_cast<std::int64_t>(top_) + RowAt(y);
    if (line < 0)
        return {};
    if (line >= static_cast<std::int64_t>(lines_.Count()))
        return EndOfText();
    const auto index = static_cast<std::size_t>(line);
    return {index, measure.ColumnAt(LineText(index), x - margin_ + left_)};
}

OutputModel::DragScroll OutputModel::DragScrollAt(int x, int y, int width, int height)
{
    return {x < 0 ? -1 : x >= width ? 1 : 0, y < 0 ? -1 : y >= height ? 1 : 0};
}

// --- the selection -------------------------------------------------------------------------------

void OutputModel::Select(OutputPosition anchor, OutputPosition cursor)
{
    anchor_ = anchor;
    cursor_ = cursor;
    goalX_.reset();
    selectionHolds_ = HasSelection();
}

void OutputModel::DragTo(OutputPosition cursor)
{
    cursor_ = cursor;
    selectionHolds_ = HasSelection();
}

void OutputModel::BeginDrag()
{
    dragging_ = true;
    dragFromBottom_ = AtBottom();
}

void OutputModel::EndDrag()
{
    if (dragging_ && dragFromBottom_ && !HasSelection())
        top_ = LastTop();
    dragging_ = dragFromBottom_ = false;
}

void OutputModel::SelectLine(std::size_t line)
{
    const bool last = line + 1 >= lines_.Count();
    Select({line, 0}, last ? OutputPosition{line, LineLength(line)} : OutputPosition{line + 1, 0});
}

OutputPosition OutputModel::Target(OutputMove move, int goalX, const OutputMeasure& measure) const
{
    if (lines_.Count() == 0)
        return {};
    const std::size_t last = lines_.Count() - 1;
    OutputPosition at = cursor_;
    switch (move) {
    case OutputMove::NextChar:
    case OutputMove::NextWord: {
        const std::u16string text = LineText(at.line);
        if (at.column < Column(text.size()))
            return {at.line, measure.Step(text, at.column, move)};
        return at.line < last ? OutputPosition{at.line + 1, 0} : at;
    }
    case OutputMove::PreviousChar:
    case OutputMove::PreviousWord:
        if (at.column > 0)
            return {at.line, measure.Step(LineText(at.line), at.column, move)};
        return at.line > 0 ? OutputPosition{at.line - 1, LineLength(at.line - 1)} : at;
    case OutputMove::NextLine:
    case OutputMove::PreviousLine:
    case OutputMove::NextPage:
    case OutputMove::PreviousPage: {
        const bool page = move == OutputMove::NextPage || move == OutputMove::PreviousPage;
        const std::int64_t step = page ? rows_ : 1;
        const bool down = move == OutputMove::NextLine || move == OutputMove::NextPage;
        // A page goes from the cursor's row in sight; a cursor out of sight, from the nearest row.
        if (page)
            at.line = std::clamp(at.line, top_, std::min(last, top_ + static_cast<std::size_t>(rows_) - 1));
        // Past the first or the last line, the move goes to the start or the end of the text.
        if (down && at.line == last)
            return EndOfText();
        if (!down && at.line == 0)
            return {};
        const auto line = static_cast<std::size_t>(std::clamp<std::int64_t>(
            static_cast<std::int64_t>(at.line) + (down ? step : -step), 0, static_cast<std::int64_t>(last)));
        return {line, measure.ColumnAt(LineText(line), goalX)};
    }
    case OutputMove::StartOfLine:
        return {at.line, 0};
    case OutputMove::EndOfLine:
        return {at.line, LineLength(at.line)};
    case OutputMove::StartOfText:
        return {};
    case OutputMove::EndOfText:
        return EndOfText();
    }
    return at;
}

void OutputModel::Move(OutputMove move, bool select, const OutputMeasure& measure)
{
    const bool vertical = move == OutputMove::NextLine || move == OutputMove::PreviousLine
                          || move == OutputMove::NextPage || move == OutputMove::PreviousPage;
    std::optional<int> goal;
    if (vertical)
        goal = goalX_ ? *goalX_ : measure.ColumnX(LineText(cursor_.line), cursor_.column);
    cursor_ = Target(move, goal.value_or(0), measure);
    if (!select)
        anchor_ = cursor_;
    goalX_ = goal;
    // A page takes the view along by as much, so that the cursor keeps its row in sight.
    if (move == OutputMove::NextPage)
        SetTop(top_ + static_cast<std::size_t>(rows_));
    else if (move == OutputMove::PreviousPage)
        SetTop(top_ > static_cast<std::size_t>(rows_) ? top_ - static_cast<std::size_t>(rows_) : 0);
    ScrollTo(cursor_, measure);
    selectionHolds_ = HasSelection();
}

std::string OutputModel::TextBetween(OutputPosition from, OutputPosition to, std::string_view lineEnd) const
{
    if (lines_.Count() == 0 || to <= from)
        return {};
    const auto part = [&](std::size_t line, int start, int end) {
        const std::string_view text = lines_.Line(line);
        const std::size_t first = ByteOfColumn(text, start);
        const std::size_t stop = ByteOfColumn(text, end);
        return text.substr(first, stop > first ? stop - first : 0);
    };
    if (from.line == to.line)
        return std::string(part(from.line, from.column, to.column));
    const std::size_t end = std::min(to.line, lines_.Count());
    std::size_t size = 0;
    for (std::size_t line = from.line + 1; line < end; ++line)
        size += lines_.Line(line).size() + lineEnd.size();
    std::string text;
    text.reserve(size + 2 * lineEnd.size() + 256);
    text += part(from.line, from.column, INT_MAX);
    text += lineEnd;
    for (std::size_t line = from.line + 1; line < end; ++line) {
        text += lines_.Line(line);
        text += lineEnd;
    }
    text += part(to.line, 0, to.column);
    return text;
}

std::string OutputModel::SelectedText(std::string_view lineEnd) const
{
    const auto [from, to] = std::minmax(anchor_, cursor_);
    return TextBetween(from, to, lineEnd);
}

OutputModel::LineSelection OutputModel::SelectionIn(std::size_t line) const
{
    const auto [from, to] = std::minmax(anchor_, cursor_);
    if (from == to || line < from.line || line > to.line)
        return {};
    const int size = LineLength(line);
    return {true, line == from.line ? std::clamp(from.column, 0, size) : 0,
            line == to.line ? std::clamp(to.column, 0, size) : size, line < to.line};
}

// --- offsets for screen readers ------------------------------------------------------------------

void OutputModel::BuildOffsetsUpTo(std::size_t line) const
{
    if (lines_.Count() == 0)
        return;
    line = std::min(line, lines_.Count() - 1);
    while (lineOffsets_.size() <= line) {
        const std::size_t next = lineOffsets_.size();
        lineOffsets_.push_back(next == 0 ? 0 : lineOffsets_.back() + LineLength(next - 1) + 1);
    }
}

std::int64_t OutputModel::OffsetOf(OutputPosition position) const
{
    if (lines_.Count() == 0)
        return 0;
    BuildOffsetsUpTo(position.line);
    return lineOffsets_[std::min(position.line, lines_.Count() - 1)] + position.column;
}

OutputPosition OutputModel::PositionAtOffset(std::int64_t offset) const
{
    if (lines_.Count() == 0)
        return {};
    offset = std::clamp<std::int64_t>(offset, 0, characters_);
    BuildOffsetsUpTo(lines_.Count() - 1);
    const auto after = std::upper_bound(lineOffsets_.begin(), lineOffsets_.end(), offset);
    const auto line = static_cast<std::size_t>(after - lineOffsets_.begin() - 1);
    return {line, static_cast<int>(std::min<std::int64_t>(offset - lineOffsets_[line], LineLength(line)))};
}

bool OutputModel::TakeTripleClick(std::uint32_t at, std::uint32_t interval)
{
    // Unsigned, the difference is right across the clock's wrap.
    const bool triple = doubleClickAt_ && at - *doubleClickAt_ < interval;
    doubleClickAt_.reset();
    return triple;
}

