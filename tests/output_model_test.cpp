// The output model without a toolkit, over a measure in which every UTF-16 unit is 10 pixels wide
// and characters and words both step a unit (the toolkits' own rules are theirs to test).
#include "platform/shared/output_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int Unit = 10;
constexpr int LineHeight = 16;
constexpr int Margin = 4;

struct FakeMeasure final : OutputMeasure {
    mutable int widths = 0;   // lines measured whole
    int unit = Unit;

    int Width(std::u16string_view line) const override
    {
        ++widths;
        return static_cast<int>(line.size()) * unit;
    }
    int ColumnX(std::u16string_view, int column) const override { return column * unit; }
    int ColumnAt(std::u16string_view line, int x) const override
    {
        return std::clamp((x + unit / 2) / unit, 0, static_cast<int>(line.size()));
    }
    int Step(std::u16string_view, int column, OutputMove move) const override
    {
        return move == OutputMove::NextChar || move == OutputMove::NextWord ? column + 1 : column - 1;
    }
};

class OutputModelTest : public testing::Test {
protected:
    // A view 200 pixels wide with five whole rows and a bit of a sixth.
    OutputModelTest()
    {
        model.SetMetrics(LineHeight, Margin);
        model.SetViewSize(200, Margin + 5 * LineHeight + 7);
    }
    void Append(const std::vector<std::string>& lines)
    {
        for (const std::string& line : lines)
            model.Append(line, measure);
    }
    void AppendNumbered(int count)
    {
        for (int i = 0; i < count; ++i)
            model.Append("Zeile " + std::to_string(i), measure);
    }
    void Keys(const std::vector<OutputMove>& moves, bool select = false)
    {
        for (const OutputMove move : moves)
            model.Move(move, select, measure);
    }
    std::string Selected() const { return model.SelectedText("\n"); }

    FakeMeasure measure;
    OutputModel model;
};

TEST_F(OutputModelTest, TheViewFollowsNewLinesOnlyWhileAtTheBottom)
{
    AppendNumbered(20);
    EXPECT_EQ(model.Top(), 15u);
    // Scrolled away, it stays where it is; back at the bottom it follows again.
    model.SetTop(3);
    AppendNumbered(2);
    EXPECT_EQ(model.Top(), 3u);
    model.SetTop(1000);
    AppendNumbered(1);
    EXPECT_EQ(model.Top(), 18u);

    // A view that grows or a smaller font keeps the newest line in sight; one scrolled away
    // keeps its top line.
    model.SetViewSize(200, Margin + 10 * LineHeight);
    EXPECT_EQ(model.Top(), 13u);
    model.SetMetrics(LineHeight / 2, Margin);
    EXPECT_EQ(model.Top(), 3u);
    model.SetTop(2);
    model.SetViewSize(200, Margin + 5 * LineHeight);
    EXPECT_EQ(model.Top(), 2u);

    // The horizontal range is the widest line and the margins; a cleared view starts afresh.
    model.Append(std::string(30, 'x'), measure);
    model.SetLeft(1000);
    EXPECT_EQ(model.Left(), 300 + 2 * Margin - 200);
    model.Select({1, 2}, {4, 0});
    model.Clear();
    EXPECT_EQ(model.Left(), 0);
    EXPECT_EQ(model.LastLeft(), 0);
    EXPECT_FALSE(model.HasSelection());
    AppendNumbered(12);
    EXPECT_EQ(model.Top(), 12u - model.Rows());

    // A press holds the view while the button is down (one that selected nothing follows on);
    // a selection holds it until the view is brought back to the bottom.
    const std::size_t top = model.Top();
    model.BeginDrag();
    AppendNumbered(2);
    EXPECT_EQ(model.Top(), top);
    model.EndDrag();
    EXPECT_EQ(model.Top(), top + 2);
    model.Select({8, 0}, {9, 3});
    AppendNumbered(2);
    EXPECT_EQ(model.Top(), top + 2);
    model.SetTop(1000);
    AppendNumbered(1);
    EXPECT_EQ(model.Top(), top + 5);
}

TEST_F(OutputModelTest, KeysMoveSelectAndScrollTheLeastThatShowsTheCursor)
{
    Append({"NET-IO zu Client", "Q", "", "C:0A032A Ende", "ab"});
    AppendNumbered(20);
    model.SetTop(0);

    // Down and Up keep aiming at the x where a run of them began.
    Keys({OutputMove::StartOfText, OutputMove::EndOfLine, OutputMove::PreviousChar});
    Keys({OutputMove::NextLine, OutputMove::NextLine});
    EXPECT_EQ(model.Cursor(), (OutputPosition{2, 0}));
    Keys({OutputMove::NextLine});
    EXPECT_EQ(model.Cursor(), (OutputPosition{3, 13}));
    Keys({OutputMove::PreviousWord, OutputMove::NextLine});
    EXPECT_EQ(model.Cursor(), (OutputPosition{4, 2}));

    // Characters and words cross line breaks; selecting keeps the anchor.
    Keys({OutputMove::StartOfLine, OutputMove::PreviousWord, OutputMove::PreviousChar}, true);
    EXPECT_EQ(model.Anchor(), (OutputPosition{4, 2}));
    EXPECT_EQ(Selected(), "e\nab");
    Keys({OutputMove::EndOfLine, OutputMove::NextWord, OutputMove::NextChar});
    EXPECT_EQ(model.Cursor(), (OutputPosition{4, 1}));
    EXPECT_FALSE(model.HasSelection());

    // A page moves by the rows in sight; past the first or the last line a vertical move goes to
    // the text's start or end.
    Keys({OutputMove::NextPage});
    EXPECT_EQ(model.Cursor(), (OutputPosition{9, 1}));
    EXPECT_EQ(model.Top(), 5u);
    Keys({OutputMove::PreviousPage, OutputMove::PreviousPage, OutputMove::PreviousLine});
    EXPECT_EQ(model.Cursor(), (OutputPosition{}));
    EXPECT_EQ(model.Top(), 0u);
    Keys({OutputMove::EndOfText, OutputMove::NextLine}, true);
    EXPECT_EQ(model.Cursor(), (OutputPosition{24, 8}));
    EXPECT_EQ(model.Top(), 20u);

    // A long line scrolls sideways by the least that brings the cursor in.
    model.Append(std::string(40, 'x'), measure);
    model.ScrollTo({25, 30}, measure);
    EXPECT_EQ(model.Left(), 30 * Unit + Margin - 200 + Margin + 1);
    model.ScrollTo({25, 5}, measure);
    EXPECT_EQ(model.Left(), 5 * Unit);
}

// A page moves the view a page and the cursor with it, from the first press; a cursor out of
// sight pages from the nearest row in sight.
TEST_F(OutputModelTest, APageKeyMovesTheViewAndTheCursorAWholePage)
{
    AppendNumbered(100);   // in sight: lines 95 to 99
    model.Select({99, 3}, {99, 3});
    Keys({OutputMove::PreviousPage});
    EXPECT_EQ(model.Cursor(), (OutputPosition{94, 3}));
    EXPECT_EQ(model.Top(), 90u);
    model.Select({}, {});
    Keys({OutputMove::PreviousPage});
    EXPECT_EQ(model.Cursor(), (OutputPosition{85, 0}));
    EXPECT_EQ(model.Top(), 85u);
}

TEST_F(OutputModelTest, PointsRowsAndWhatAPaintedLineShowsSelected)
{
    model.SetViewSize(50, Margin + 5 * LineHeight + 7);
    AppendNumbered(20);
    model.SetTop(4);
    model.SetLeft(3 * Unit);
    EXPECT_EQ(model.RowAt(Margin - 1), -1);
    EXPECT_EQ(model.PositionAt(Margin + 2, Margin + 2 * LineHeight, measure), (OutputPosition{6, 3}));
    EXPECT_EQ(model.PositionAt(50, -4 * LineHeight - 1, measure), (OutputPosition{}));
    EXPECT_EQ(model.PositionAt(50, 30 * LineHeight, measure), (OutputPosition{19, 8}));
    EXPECT_EQ(model.LinesIn(0, Margin + LineHeight), (std::pair<std::size_t, std::size_t>{4, 6}));

    // From the middle of one line into another: the lines between whole, with their breaks.
    model.Select({8, 2}, {6, 4});
    EXPECT_EQ(Selected(), "e 6\nZeile 7\nZe");
    using Selection = OutputModel::LineSelection;
    EXPECT_EQ(model.SelectionIn(5), Selection{});
    EXPECT_EQ(model.SelectionIn(6), (Selection{true, 4, 7, true}));
    EXPECT_EQ(model.SelectionIn(7), (Selection{true, 0, 7, true}));
    EXPECT_EQ(model.SelectionIn(8), (Selection{true, 0, 2, false}));

    // A triple click takes the line with its break, the last line without one.
    model.SelectLine(7);
    EXPECT_EQ(Selected(), "Zeile 7\n");
    model.SelectLine(19);
    EXPECT_EQ(Selected(), "Zeile 19");

    // A drag held outside the view scrolls towards where it is.
    EXPECT_EQ(OutputModel::DragScrollAt(10, 10, 200, 90), (OutputModel::DragScroll{0, 0}));
    EXPECT_EQ(OutputModel::DragScrollAt(-1, 90, 200, 90), (OutputModel::DragScroll{-1, 1}));
    EXPECT_EQ(OutputModel::DragScrollAt(200, -5, 200, 90), (OutputModel::DragScroll{1, -1}));
}

TEST_F(OutputModelTest, CopiedTextAndScreenReaderOffsetsCountUtf16)
{
    // "ä" and "€" are one unit each, the clef a surrogate pair.
    Append({"", "ä€\xF0\x9D\x84\x9E!", "C:0A032A", "Ende"});
    EXPECT_EQ(model.CharacterCount(), 0 + 1 + 5 + 1 + 8 + 1 + 4);
    model.SelectAll();
    EXPECT_EQ(model.SelectedText("\r\n"), "\r\nä€\U0001D11E!\r\nC:0A032A\r\nEnde");
    EXPECT_EQ(model.TextBetween({1, 4}, {2, 3}, "\n"), "!\nC:0");

    EXPECT_EQ(model.OffsetOf({2, 3}), 1 + 6 + 3);
    for (std::int64_t offset = 0; offset <= model.CharacterCount(); ++offset)
        EXPECT_EQ(model.OffsetOf(model.PositionAtOffset(offset)), offset);
    EXPECT_EQ(model.PositionAtOffset(1000), (OutputPosition{3, 4}));

    // Lines appended after a reader asked count too, and a cleared text counts afresh.
    model.Append("neu", measure);
    EXPECT_EQ(model.PositionAtOffset(model.CharacterCount()), (OutputPosition{4, 3}));
    model.Clear();
    model.Append("a\xC3", measure);   // a broken sequence: a replacement character a byte
    EXPECT_EQ(model.LineText(0), u"a\uFFFD");
    EXPECT_EQ(model.PositionAtOffset(2), (OutputPosition{0, 2}));
}

TEST_F(OutputModelTest, AFontChangeMeasuresTheWidestAndTheLongestLineOnly)
{
    Append({"\tW", std::string(30, 'i'), "kurz"});
    for (int i = 0; i < 1000; ++i)
        model.Append("C:0A032A", measure);
    measure.unit = 2 * Unit;
    measure.widths = 0;
    model.Remeasure(measure);
    EXPECT_EQ(measure.widths, 1);   // the widest line is the longest here
    EXPECT_EQ(model.Widest(), 600u);

    // A smaller font narrows the range and takes the view back inside it.
    model.SetLeft(model.LastLeft());
    measure.unit = Unit / 2;
    model.Remeasure(measure);
    EXPECT_EQ(model.Widest(), 150u);
    EXPECT_EQ(model.Left(), 0);

    // A line painted wider raises the range and is a candidate from then on, beside the longest.
    EXPECT_FALSE(model.NoteWidth(0, 100));
    EXPECT_TRUE(model.NoteWidth(0, 420));
    EXPECT_EQ(model.LastLeft(), 420 + 2 * Margin - 200);
    measure.widths = 0;
    model.Remeasure(measure);
    EXPECT_EQ(measure.widths, 2);
    EXPECT_EQ(model.Widest(), 150u);
}

// A press within the double-click time after a double click is a triple click, on a clock of
// milliseconds that wraps (Windows' message time): also across the wrap, and never without a
// double click before it, however late the clock (after 24.8 days it is negative as a LONG).
TEST_F(OutputModelTest, ATripleClickIsCountedAcrossTheClocksWrap)
{
    constexpr std::uint32_t Interval = 500;
    EXPECT_FALSE(model.TakeTripleClick(0x80000100, Interval));
    model.NoteDoubleClick(0xFFFFFF80);
    EXPECT_TRUE(model.TakeTripleClick(0x00000100, Interval));
    EXPECT_FALSE(model.TakeTripleClick(0x00000101, Interval));   // taken once
    model.NoteDoubleClick(0x7FFFFF00);
    EXPECT_FALSE(model.TakeTripleClick(0x80000100, Interval));   // too late
}

}  // namespace
