// The output editor of the Qt front end: a read-only view over the output model that lays out and
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

#include "platform/shared/output_model.h"

class QAccessibleInterface;
class QTextLayout;

class OutputView : public QAbstractScrollArea, private OutputMeasure {
    Q_OBJECT

public:
    using Position = OutputPosition;

    explicit OutputView(QWidget* parent = nullptr);

    // What the program asks of its output editor.
    void AppendLine(std::string_view line);
    void Clear();
    // One colour for the whole text, on white: the program's colours were chosen against a light
    // background, which a dark theme does not give. An unchanged colour costs nothing (every
    // palette set keeps some memory, and polling sets the colour four times a second).
    void SetTextColour(QColor colour);
    void ShowFirstLine();
    std::string Text() const { return model_.Text(); }   // lines joined by "\n"
    void ScrollTo(Position position);   // the least scrolling that brings it into sight

    // The lines, the selection (whose cursor is never drawn, as the text cannot be edited), the
    // view's place and the offsets screen readers count in.
    const OutputModel& Model() const { return model_; }
    std::size_t LineCount() const { return model_.LineCount(); }
    QString LineText(std::size_t index) const;

    QString SelectedText() const;
    void Select(Position anchor, Position cursor);
    void SelectAll();
    void Copy() const;
    // Asks where to, and writes the whole output there, a line per line.

    QString TextBetween(Position from, Position to) const;
    QRect CharacterRect(Position position) const;   // in viewport coordinates
    // The context menu: the view's entries and the program's (SetOutputMenuEntry), at `at`.
    void ShowContextMenu(QPoint at);
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
    QPoint CaretPoint() const;
    // Measuring and stepping through a line with Qt's text layout.
    int Width(std::u16string_view line) const override;
    int ColumnX(std::u16string_view line, int column) const override;
    int ColumnAt(std::u16string_view line, int x) const override;
    int Step(std::u16string_view line, int column, OutputMove move) const override;
    void LayOut(QTextLayout& layout) const;

    void UpdateScrollBars();
    void UpdateFontMetrics();
    void SelectWordAt(Position position);
    void DragTo(QPoint point);
    void SelectionChanged();
    void PaintLine(QPainter& painter, std::size_t line, int y);

    OutputModel model_;
    QTextOption textOption_;
    int breakWidth_ = 1;                 // the selected line break is shown this wide
    std::optional<QColor> colour_;       // none: the theme's colours

    bool dragging_ = false;
    QPoint dragPoint_;                   // last mouse position while dragging
    QBasicTimer dragScroll_;             // scrolls while a drag is outside the view
    QPoint doubleClickPoint_;
    QBasicTimer tripleClickWindow_;      // a press while it runs selects the whole line
    bool widthsRaised_ = false;          // a painted line was wider than the range
    bool syncing_ = false;               // the bars are being set from the model
};

// Qt's accessibility factory for the view (output_accessible.cpp).
QAccessibleInterface* AccessibleOutputView(const QString& key, QObject* object);
