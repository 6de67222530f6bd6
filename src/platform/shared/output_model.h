// The output editor without a toolkit, as both front ends show it: its lines, places in them, the
// selection, where the view stands and how it follows new lines, and the arithmetic of keys,
// scrolling, hitting, painting and copying. A front end measures, paints and turns its events into
// calls of this. Private to the platform layer.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "utils/line_store.h"

// Lengths at 96 dpi.
inline constexpr int OutputTextMargin = 4;        // around the text, as a text document has it
inline constexpr int OutputHorizontalStep = 20;   // pixels per click on the horizontal bar's arrow

// The context menu's first entries; saving follows apart (output_file.h).
inline constexpr std::string_view OutputCopyMenuText = "Kopieren";
inline constexpr std::string_view OutputSelectAllMenuText = "Alles auswählen";
// What a copy the system refused says (title: output_file.h's SaveOutputProblemTitle).
inline constexpr std::string_view OutputCopyProblemText = "Der markierte Text kann nicht in die Zwischenablage kopiert werden!";

// A place in the text: a line, and a column in that line's text as both toolkits count it (UTF-16).
struct OutputPosition {
    std::size_t line = 0;
    int column = 0;
    friend auto operator<=>(const OutputPosition&, const OutputPosition&) = default;
};

enum class OutputMove { NextChar, PreviousChar, NextWord, PreviousWord, NextLine, PreviousLine, NextPage,
                        PreviousPage, StartOfLine, EndOfLine, StartOfText, EndOfText };

// What a front end knows of one line in its font: x from the text's start, in pixels.
class OutputMeasure {
public:
    virtual int Width(std::u16string_view line) const = 0;
    virtual int ColumnX(std::u16string_view line, int column) const = 0;
    virtual int ColumnAt(std::u16string_view line, int x) const = 0;   // the column nearest to x
    // A character or word move inside the line, by the toolkit's rules; `column` is one the move
    // can leave (not the line's end going forward, not its start going back).
    virtual int Step(std::u16string_view line, int column, OutputMove move) const = 0;

protected:
    ~OutputMeasure() = default;
};

// UTF-8 in the units both toolkits count; a broken sequence gives one U+FFFD a byte.
std::u16string Utf16(std::string_view text);

class OutputModel {
public:
    // --- the lines ---
    // A view at the bottom follows the new line.
    void Append(std::string_view line, const OutputMeasure& measure);
    // Empty, the view at its start, nothing selected.
    void Clear();
    std::size_t LineCount() const { return lines_.Count(); }
    std::string_view Line(std::size_t index) const { return lines_.Line(index); }
    std::u16string LineText(std::size_t index) const { return Utf16(lines_.Line(index)); }
    int LineLength(std::size_t index) const;
    std::string Text() const { return lines_.Text(); }   // lines joined by "\n"
    OutputPosition EndOfText() const;

    // --- the widest line, for the horizontal range ---
    // Known without measuring every line: a change of font measures anew the widest line and the
    // longest, and a line painted wider than the range raises it (true when it did).
    std::uint32_t Widest() const { return lines_.WidestWidth(); }
    bool NoteWidth(std::size_t line, int width);
    void Remeasure(const OutputMeasure& measure);

    // --- the view, in the front end's pixels ---
    void SetMetrics(int lineHeight, int margin);
    void SetViewSize(int width, int height);   // keeps to the bottom if it was there
    int LineHeight() const { return lineHeight_; }
    int Margin() const { return margin_; }
    int Width() const { return width_; }
    int Rows() const { return rows_; }   // whole lines in sight
    std::size_t Top() const { return top_; }
    int Left() const { return left_; }
    std::size_t LastTop() const;
    int LastLeft() const;
    bool AtBottom() const { return top_ >= LastTop(); }
    void SetTop(std::size_t top);   // both clamped to their range
    void SetLeft(int left);
    // The least scrolling that brings the place into sight.
    void ScrollTo(OutputPosition position, const OutputMeasure& measure);
    std::int64_t RowAt(int y) const;   // rows above the first count as negative
    std::int64_t RowTop(std::size_t line) const;
    // The lines whose rows meet the pixels [top, bottom] (both inside): [first, end).
    std::pair<std::size_t, std::size_t> LinesIn(int top, int bottom) const;
    OutputPosition PositionAt(int x, int y, const OutputMeasure& measure) const;
    int TextX(int columnX) const { return margin_ - left_ + columnX; }   // in the view
    // Which way a drag held at (x, y) scrolls a view of that size: -1, 0 or 1 each.
    struct DragScroll {
        int x = 0, y = 0;
        bool operator==(const DragScroll&) const = default;
    };
    static DragScroll DragScrollAt(int x, int y, int width, int height);

    // --- the selection: from the anchor to the cursor, which keys move from ---
    OutputPosition Anchor() const { return anchor_; }
    OutputPosition Cursor() const { return cursor_; }
    bool HasSelection() const { return anchor_ != cursor_; }
    void Select(OutputPosition anchor, OutputPosition cursor);
    void SelectAll() { Select({}, EndOfText()); }
    void SelectLine(std::size_t line);   // with its break, as a triple click takes it
    void DragTo(OutputPosition cursor);
    // Moves the cursor, the anchor too unless it selects, and scrolls it into sight. Up and Down
    // keep aiming at the x where a run of them began; a page moves the view and the cursor a page.
    void Move(OutputMove move, bool select, const OutputMeasure& measure);
    // UTF-8, lines joined by the front end's lineEnd.
    std::string TextBetween(OutputPosition from, OutputPosition to, std::string_view lineEnd) const;
    std::string SelectedText(std::string_view lineEnd) const;
    // What of a painted line is selected: columns [from, to), and whether its break is.
    struct LineSelection {
        bool any = false;
        int from = 0, to = 0;
        bool lineBreak = false;
        bool operator==(const LineSelection&) const = default;
    };
    LineSelection SelectionIn(std::size_t line) const;

    // --- the view held still: while the mouse button is down in it, and while a selection stands
    // that was made since the view was last brought back to the bottom, new lines arrive without
    // moving it. A press begun at the bottom that selected nothing follows on at its release ---
    void BeginDrag();
    void EndDrag();

    // --- a triple click: a press within the double-click time after a double click selects its
    // line. The times are of a millisecond clock that wraps around (a message's time on Windows,
    // which turns negative after 24.8 days as a signed number) ---
    void NoteDoubleClick(std::uint32_t at) { doubleClickAt_ = at; }
    bool TakeTripleClick(std::uint32_t at, std::uint32_t interval);

    // --- the text as one run of characters, lines joined by one break: how screen readers see it ---
    std::int64_t CharacterCount() const { return characters_; }
    std::int64_t OffsetOf(OutputPosition position) const;
    OutputPosition PositionAtOffset(std::int64_t offset) const;

private:
    OutputPosition Target(OutputMove move, int goalX, const OutputMeasure& measure) const;
    void BuildOffsetsUpTo(std::size_t line) const;
    void KeepInRange(bool follow);

    LineStore lines_;
    std::int64_t characters_ = 0;
    std::size_t widestLine_ = 0, longestLine_ = 0;
    std::size_t longestLength_ = 0;
    int lineHeight_ = 1, margin_ = OutputTextMargin;
    int width_ = 0, height_ = 0, rows_ = 1;
    std::size_t top_ = 0;
    int left_ = 0;
    OutputPosition anchor_, cursor_;
    std::optional<int> goalX_;
    bool dragging_ = false;
    bool dragFromBottom_ = false;   // the press came at the bottom, and the view has not moved since
    bool selectionHolds_ = false;   // a selection was made since the view was last back at the bottom
    std::optional<std::uint32_t> doubleClickAt_;
    // Character offset of each line's start, built only as far as a screen reader asked.
    mutable std::vector<std::int64_t> lineOffsets_;
};
