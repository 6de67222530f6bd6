// The output editor of the Qt front end: a read-only view over a line store that lays out and
// paints only the lines in sight, so a line costs a few bytes however long a polling run goes.
// Private to the Qt layer and its tests.
#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QColor>
#include <QPoint>
#include <QTextOption>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "utils/line_store.h"

class QAccessibleInterface;
class QTextLayout;

class OutputView : public QAbstractScrollArea {
    Q_OBJECT

public:
    // A place in the text: a line, and a column in that line's text as Qt holds it (UTF-16).
    struct Position {
        std::size_t line = 0;
        qsizetype column = 0;
        friend auto operator<=>(const Position&, const Position&) = default;
    };

    explicit OutputView(QWidget* parent = nullptr);

    // What the program asks of its output editor.
    void AppendLine(std::string_view line);
    void Clear();
    // One colour for the whole text, on white: the program's colours were chosen against a light
    // background, which a dark theme does not give. An unchanged colour costs nothing (every
    // palette set keeps some memory, and polling sets the colour four times a second).
    void SetTextColour(QColor colour);
    void ShowFirstLine();
    std::string Text() const;   // lines joined by "\n"
    void ScrollTo(Position position);   // the least scrolling that brings it into sight

    std::size_t LineCount() const { return lines_.Count(); }
    QString LineText(std::size_t index) const;
    std::size_t FirstVisibleLine() const;
    int VisibleLines() const;   // whole lines in sight
    bool AtBottom() const;

    // The selection runs from the anchor to the cursor; the cursor is where keys move from, but it
    // is never drawn, as the text cannot be edited.
    bool HasSelection() const { return anchor_ != cursor_; }
    QString SelectedText() const;
    void Select(Position anchor, Position cursor);
    void SelectAll();
    void Copy() const;
    // Asks where to, and writes the whole output there, a line per line.
    void SaveToFile();
    Position Cursor() const { return cursor_; }
    Position Anchor() const { return anchor_; }

    // The text as one run of characters, lines joined by one break each: how screen readers see it.
    qint64 CharacterCount() const { return characters_; }
    qint64 OffsetOf(Position position) const;
    Position PositionAtOffset(qint64 offset) const;
    QString TextBetween(Position from, Position to) const;
    QRect CharacterRect(Position position) const;   // in viewport coordinates
    Position PositionAtPoint(QPoint point) const;   // in viewport coordinates

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    enum class Move { NextChar, PreviousChar, NextWord, PreviousWord, NextLine, PreviousLine,
                      NextPage, PreviousPage, StartOfLine, EndOfLine, StartOfText, EndOfText };

    void LayOut(QTextLayout& layout) const;
    std::uint32_t MeasuredWidth(const QString& text) const;
    qsizetype LineLength(std::size_t line) const;
    Position EndOfText() const;
    int ColumnX(Position position) const;
    Position Target(Move move) const;
    void MoveCursor(Position to, bool select);
    void UpdateScrollBars();
    void UpdateFontMetrics();
    void SelectWordAt(Position position);
    void DragTo(QPoint point);
    void SelectionChanged();
    void PaintLine(QPainter& painter, std::size_t line, int y) const;
    QRect RowRect(std::size_t line) const;
    void BuildOffsetsUpTo(std::size_t line) const;

    LineStore lines_;
    QTextOption textOption_;
    int lineHeight_ = 1;
    int breakWidth_ = 1;                 // the selected line break is shown this wide
    std::optional<QColor> colour_;       // none: the theme's colours

    Position anchor_, cursor_;
    std::optional<int> goalX_;           // where Up and Down aim, kept across a run of them
    bool dragging_ = false;
    QPoint dragPoint_;                   // last mouse position while dragging
    QBasicTimer dragScroll_;             // scrolls while a drag is outside the view
    QPoint doubleClickPoint_;
    QBasicTimer tripleClickWindow_;      // a press while it runs selects the whole line

    qint64 characters_ = 0;
    // Character offset of each line's start, built only as far as a screen reader asked.
    mutable std::vector<qint64> lineOffsets_;
};

// Qt's accessibility factory for the view (output_accessible.cpp).
QAccessibleInterface* AccessibleOutputView(const QString& key, QObject* object);
