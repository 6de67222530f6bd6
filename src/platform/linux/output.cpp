// The output editor over Qt: a scroll area that lays out only the lines in sight, selection with
// mouse and keyboard, and copying. What screen readers read it through is in output_accessible.cpp.
#include "platform/linux/output.h"
#include "platform/layout.h"
#include "platform/linux/desktop.h"
#include "platform/output_file.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr int TextMargin = 4;               // around the text, as a text document has it
constexpr qreal UnboundedLineWidth = 8e6;   // lines never wrap, however long
constexpr int HorizontalStep = 20;          // pixels per click on the scroll bar's arrow
constexpr int DragScrollMs = 50;            // while a drag is held outside the view

const QString CopyText = QStringLiteral("Kopieren");
const QString SelectAllText = QStringLiteral("Alles auswählen");

int ClampToInt(qint64 value)
{
    return static_cast<int>(std::clamp<qint64>(value, 0, INT_MAX));
}

// Floor division, so that points above the first row count as rows above it.
qint64 RowAt(int y, int lineHeight)
{
    const qint64 offset = y - TextMargin;
    return offset >= 0 ? offset / lineHeight : -((-offset + lineHeight - 1) / lineHeight);
}

}  // namespace

OutputView::OutputView(QWidget* parent) : QAbstractScrollArea(parent)
{
    [[maybe_unused]] static const bool accessible = [] {
        QAccessible::installFactory(AccessibleOutputView);
        return true;
    }();
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    textOption_.setWrapMode(QTextOption::NoWrap);
    textOption_.setTabStopDistance(OutputTabStop);
    horizontalScrollBar()->setSingleStep(HorizontalStep);
    verticalScrollBar()->setSingleStep(1);
    UpdateFontMetrics();
    UpdateScrollBars();
}

// --- the text ------------------------------------------------------------------------------------

void OutputView::AppendLine(std::string_view line)
{
    const QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    const bool first = lines_.Count() == 0;
    lines_.Append(line, MeasuredWidth(text));
    const qint64 insertedAt = first ? 0 : characters_;
    characters_ = insertedAt + (first ? 0 : 1) + text.size();
    UpdateScrollBars();
    const std::size_t index = lines_.Count() - 1;
    if (index <= FirstVisibleLine() + static_cast<std::size_t>(VisibleLines()))
        viewport()->update(RowRect(index));
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent inserted(this, ClampToInt(insertedAt), first ? text : QLatin1Char('\n') + text);
        QAccessible::updateAccessibility(&inserted);
    }
}

void OutputView::Clear()
{
    QString removed;
    if (QAccessible::isActive() && characters_ > 0)
        removed = QString::fromUtf8(lines_.Text());
    lines_.Clear();
    characters_ = 0;
    std::vector<qint64>().swap(lineOffsets_);
    anchor_ = cursor_ = {};
    goalX_.reset();
    dragging_ = false;
    dragScroll_.stop();
    UpdateScrollBars();
    horizontalScrollBar()->setValue(0);
    viewport()->update();
    if (!removed.isEmpty()) {
        QAccessibleTextRemoveEvent event(this, 0, removed);
        QAccessible::updateAccessibility(&event);
    }
}

void OutputView::SetTextColour(QColor colour)
{
    if (colour_ == colour)
        return;
    QPalette shades = palette();
    shades.setColor(QPalette::Text, colour);
    shades.setColor(QPalette::Base, Qt::white);
    setPalette(shades);
    colour_ = colour;
}

void OutputView::ShowFirstLine()
{
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
}

std::string OutputView::Text() const
{
    return lines_.Text();
}

QString OutputView::LineText(std::size_t index) const
{
    const std::string_view line = lines_.Line(index);
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

qsizetype OutputView::LineLength(std::size_t line) const
{
    return LineText(line).size();
}

OutputView::Position OutputView::EndOfText() const
{
    if (lines_.Count() == 0)
        return {};
    return {lines_.Count() - 1, LineLength(lines_.Count() - 1)};
}

// --- layout and painting ---------------------------------------------------------------------------

void OutputView::LayOut(QTextLayout& layout) const
{
    layout.setTextOption(textOption_);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(UnboundedLineWidth);
    layout.endLayout();
}

std::uint32_t OutputView::MeasuredWidth(const QString& text) const
{
    if (text.isEmpty())
        return 0;
    QTextLayout layout(text, font(), viewport());
    LayOut(layout);
    return static_cast<std::uint32_t>(std::clamp<qreal>(std::ceil(layout.lineAt(0).naturalTextWidth()), 0, INT_MAX));
}

int OutputView::ColumnX(Position position) const
{
    QTextLayout layout(LineText(position.line), font(), viewport());
    LayOut(layout);
    const QTextLine line = layout.lineAt(0);
    return line.isValid() ? static_cast<int>(std::lround(line.cursorToX(static_cast<int>(position.column)))) : 0;
}

void OutputView::UpdateFontMetrics()
{
    const QFontMetrics metrics(font(), viewport());
    lineHeight_ = std::max(1, metrics.height());
    breakWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char(' ')));
}

std::size_t OutputView::FirstVisibleLine() const
{
    return static_cast<std::size_t>(verticalScrollBar()->value());
}

int OutputView::VisibleLines() const
{
    return std::max(1, (viewport()->height() - TextMargin) / lineHeight_);
}

bool OutputView::AtBottom() const
{
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

// The vertical bar counts lines, the horizontal one pixels. A view at the bottom stays there, so
// new lines and a shrinking view keep the newest line in sight.
void OutputView::UpdateScrollBars()
{
    QScrollBar* vertical = verticalScrollBar();
    const bool follow = AtBottom();
    const int rows = VisibleLines();
    vertical->setPageStep(rows);
    vertical->setRange(0, ClampToInt(static_cast<qint64>(lines_.Count()) - rows));
    if (follow)
        vertical->setValue(vertical->maximum());

    QScrollBar* horizontal = horizontalScrollBar();
    const qint64 textWidth = static_cast<qint64>(lines_.WidestWidth()) + 2 * TextMargin;
    horizontal->setPageStep(std::max(1, viewport()->width()));
    horizontal->setRange(0, ClampToInt(textWidth - viewport()->width()));
}

QRect OutputView::RowRect(std::size_t line) const
{
    const qint64 row = static_cast<qint64>(line) - static_cast<qint64>(FirstVisibleLine());
    return QRect(0, static_cast<int>(TextMargin + row * lineHeight_), viewport()->width(), lineHeight_);
}

void OutputView::PaintLine(QPainter& painter, std::size_t line, int y) const
{
    QTextLayout layout(LineText(line), font(), viewport());
    LayOut(layout);
    QList<QTextLayout::FormatRange> selections;
    bool breakSelected = false;
    const auto [from, to] = std::minmax(anchor_, cursor_);
    if (from != to && from.line <= line && line <= to.line) {
        QTextLayout::FormatRange range;
        range.start = static_cast<int>(line == from.line ? from.column : 0);
        range.length = static_cast<int>((line == to.line ? to.column : layout.text().size()) - range.start);
        range.format.setBackground(palette().highlight());
        range.format.setForeground(palette().highlightedText());
        if (range.length > 0)
            selections.append(range);
        breakSelected = line < to.line;
    }
    const QPointF origin(TextMargin - horizontalScrollBar()->value(), y);
    layout.draw(&painter, origin, selections);
    if (breakSelected) {
        const qreal x = origin.x() + layout.lineAt(0).naturalTextWidth();
        painter.fillRect(QRectF(x, y, breakWidth_, lineHeight_), palette().highlight());
    }
}

void OutputView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const QRect area = event->rect();
    const std::size_t first = FirstVisibleLine();
    const qint64 fromRow = std::max<qint64>(0, RowAt(area.top(), lineHeight_));
    const qint64 toRow = RowAt(area.bottom(), lineHeight_);
    for (qint64 row = fromRow; row <= toRow; ++row) {
        const std::size_t line = first + static_cast<std::size_t>(row);
        if (line >= lines_.Count())
            break;
        PaintLine(painter, line, static_cast<int>(TextMargin + row * lineHeight_));
    }
}

bool OutputView::event(QEvent* event)
{
    const bool handled = QAbstractScrollArea::event(event);
    // Qt's styles mark a focused line edit, but not a focused scroll area: the frame shows it here.
    if (event->type() == QEvent::Paint && hasFocus()) {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Highlight));
        const int rings = std::max(1, frameWidth());
        for (int ring = 0; ring < rings; ++ring)
            painter.drawRect(rect().adjusted(ring, ring, -1 - ring, -1 - ring));
    }
    return handled;
}

void OutputView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        UpdateFontMetrics();
        std::uint32_t widest = 0;
        for (std::size_t line = 0; line < lines_.Count(); ++line)
            widest = std::max(widest, MeasuredWidth(LineText(line)));
        lines_.SetWidestWidth(widest);
        UpdateScrollBars();
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(event);
}

void OutputView::resizeEvent(QResizeEvent*)
{
    UpdateScrollBars();
}

// Moves what is already painted rather than painting it again: a tick at the bottom paints one line.
void OutputView::scrollContentsBy(int dx, int dy)
{
    const QRect text(0, TextMargin, viewport()->width(), viewport()->height() - TextMargin);
    const qint64 pixels = static_cast<qint64>(dy) * lineHeight_;
    if (std::abs(pixels) >= text.height() || std::abs(dx) >= text.width())
        viewport()->update();
    else
        viewport()->scroll(dx, static_cast<int>(pixels), text);
}

void OutputView::ScrollTo(Position position)
{
    QScrollBar* vertical = verticalScrollBar();
    const auto line = static_cast<qint64>(position.line);
    if (line < vertical->value())
        vertical->setValue(ClampToInt(line));
    else if (line >= vertical->value() + VisibleLines())
        vertical->setValue(ClampToInt(line - VisibleLines() + 1));

    QScrollBar* horizontal = horizontalScrollBar();
    const int x = ColumnX(position) + TextMargin;
    const int width = viewport()->width();
    if (x < horizontal->value() + TextMargin)
        horizontal->setValue(x - TextMargin);
    else if (x >= horizontal->value() + width - TextMargin)
        horizontal->setValue(x - width + TextMargin + 1);
}

// --- selection -----------------------------------------------------------------------------------

QString OutputView::TextBetween(Position from, Position to) const
{
    if (lines_.Count() == 0 || to <= from)
        return {};
    if (from.line == to.line)
        return LineText(from.line).mid(from.column, to.column - from.column);
    QString text = LineText(from.line).mid(from.column);
    text += QLatin1Char('\n');
    if (to.line > from.line + 1) {
        const std::string middle = lines_.Text(from.line + 1, to.line);
        text += QString::fromUtf8(middle.data(), static_cast<qsizetype>(middle.size()));
        text += QLatin1Char('\n');
    }
    text += LineText(to.line).left(to.column);
    return text;
}

QString OutputView::SelectedText() const
{
    const auto [from, to] = std::minmax(anchor_, cursor_);
    return TextBetween(from, to);
}

void OutputView::Select(Position anchor, Position cursor)
{
    anchor_ = anchor;
    cursor_ = cursor;
    goalX_.reset();
    SelectionChanged();
}

void OutputView::SelectAll()
{
    Select({}, EndOfText());
}

void OutputView::Copy() const
{
    if (HasSelection())
        QGuiApplication::clipboard()->setText(SelectedText());
}

void OutputView::SelectionChanged()
{
    viewport()->update();
    if (QAccessible::isActive()) {
        const auto [from, to] = std::minmax(anchor_, cursor_);
        QAccessibleTextSelectionEvent event(this, ClampToInt(OffsetOf(from)), ClampToInt(OffsetOf(to)));
        event.setCursorPosition(ClampToInt(OffsetOf(cursor_)));
        QAccessible::updateAccessibility(&event);
    }
}

void OutputView::SelectWordAt(Position position)
{
    const QString text = LineText(position.line);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
    finder.setPosition(position.column);
    qsizetype start = position.column;
    if (!finder.isAtBoundary() || !(finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem))
        start = std::max<qsizetype>(0, finder.toPreviousBoundary());
    finder.setPosition(start);
    const qsizetype end = finder.toNextBoundary();
    Select({position.line, start}, {position.line, end < 0 ? text.size() : end});
}

OutputView::Position OutputView::PositionAtPoint(QPoint point) const
{
    if (lines_.Count() == 0)
        return {};
    const qint64 line = static_cast<qint64>(FirstVisibleLine()) + RowAt(point.y(), lineHeight_);
    if (line < 0)
        return {};
    if (line >= static_cast<qint64>(lines_.Count()))
        return EndOfText();
    QTextLayout layout(LineText(static_cast<std::size_t>(line)), font(), viewport());
    LayOut(layout);
    const qreal x = point.x() - TextMargin + horizontalScrollBar()->value();
    return {static_cast<std::size_t>(line), layout.lineAt(0).xToCursor(x)};
}

QRect OutputView::CharacterRect(Position position) const
{
    QTextLayout layout(LineText(position.line), font(), viewport());
    LayOut(layout);
    const QTextLine line = layout.lineAt(0);
    const auto column = static_cast<int>(position.column);
    const qreal left = line.cursorToX(column);
    const qreal right =
        column < layout.text().size() ? line.cursorToX(layout.nextCursorPosition(column)) : left + breakWidth_;
    const int x = TextMargin - horizontalScrollBar()->value() + static_cast<int>(std::floor(left));
    return QRect(x, RowRect(position.line).top(), std::max(1, static_cast<int>(std::ceil(right - left))), lineHeight_);
}

// --- offsets for screen readers ------------------------------------------------------------------------

void OutputView::BuildOffsetsUpTo(std::size_t line) const
{
    if (lines_.Count() == 0)
        return;
    line = std::min(line, lines_.Count() - 1);
    while (lineOffsets_.size() <= line) {
        const std::size_t next = lineOffsets_.size();
        lineOffsets_.push_back(next == 0 ? 0 : lineOffsets_.back() + LineLength(next - 1) + 1);
    }
}

qint64 OutputView::OffsetOf(Position position) const
{
    if (lines_.Count() == 0)
        return 0;
    BuildOffsetsUpTo(position.line);
    return lineOffsets_[std::min(position.line, lines_.Count() - 1)] + position.column;
}

OutputView::Position OutputView::PositionAtOffset(qint64 offset) const
{
    if (lines_.Count() == 0)
        return {};
    offset = std::clamp<qint64>(offset, 0, characters_);
    BuildOffsetsUpTo(lines_.Count() - 1);
    const auto after = std::upper_bound(lineOffsets_.begin(), lineOffsets_.end(), offset);
    const auto line = static_cast<std::size_t>(after - lineOffsets_.begin() - 1);
    return {line, std::min<qsizetype>(offset - lineOffsets_[line], LineLength(line))};
}

// --- keyboard ---------------------------------------------------------------------------------------

OutputView::Position OutputView::Target(Move move) const
{
    if (lines_.Count() == 0)
        return {};
    const std::size_t last = lines_.Count() - 1;
    Position at = cursor_;
    switch (move) {
    case Move::NextChar:
    case Move::NextWord: {
        const QTextLayout layout(LineText(at.line), font(), viewport());
        const auto unit = move == Move::NextWord ? QTextLayout::SkipWords : QTextLayout::SkipCharacters;
        if (at.column < layout.text().size())
            at.column = layout.nextCursorPosition(static_cast<int>(at.column), unit);
        else if (at.line < last)
            at = {at.line + 1, 0};
        return at;
    }
    case Move::PreviousChar:
    case Move::PreviousWord: {
        const QTextLayout layout(LineText(at.line), font(), viewport());
        const auto unit = move == Move::PreviousWord ? QTextLayout::SkipWords : QTextLayout::SkipCharacters;
        if (at.column > 0)
            at.column = layout.previousCursorPosition(static_cast<int>(at.column), unit);
        else if (at.line > 0)
            at = {at.line - 1, LineLength(at.line - 1)};
        return at;
    }
    case Move::NextLine:
    case Move::PreviousLine:
    case Move::NextPage:
    case Move::PreviousPage: {
        const qint64 step = (move == Move::NextPage || move == Move::PreviousPage) ? VisibleLines() : 1;
        const bool down = move == Move::NextLine || move == Move::NextPage;
        // Past the first or the last line, the move goes to the start or the end of the text.
        if (down && at.line == last)
            return EndOfText();
        if (!down && at.line == 0)
            return {};
        const qint64 line = std::clamp<qint64>(static_cast<qint64>(at.line) + (down ? step : -step), 0,
                                               static_cast<qint64>(last));
        QTextLayout layout(LineText(static_cast<std::size_t>(line)), font(), viewport());
        LayOut(layout);
        return {static_cast<std::size_t>(line), layout.lineAt(0).xToCursor(goalX_.value_or(ColumnX(at)))};
    }
    case Move::StartOfLine:
        return {at.line, 0};
    case Move::EndOfLine:
        return {at.line, LineLength(at.line)};
    case Move::StartOfText:
        return {};
    case Move::EndOfText:
        return EndOfText();
    }
    return at;
}

void OutputView::MoveCursor(Position to, bool select)
{
    cursor_ = to;
    if (!select)
        anchor_ = to;
    ScrollTo(to);
    SelectionChanged();
}

void OutputView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        Copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
        return;
    }
    struct Binding {
        QKeySequence::StandardKey key;
        Move move;
        bool select;
    };
    static constexpr Binding bindings[] = {
        {QKeySequence::MoveToNextChar, Move::NextChar, false},
        {QKeySequence::SelectNextChar, Move::NextChar, true},
        {QKeySequence::MoveToPreviousChar, Move::PreviousChar, false},
        {QKeySequence::SelectPreviousChar, Move::PreviousChar, true},
        {QKeySequence::MoveToNextWord, Move::NextWord, false},
        {QKeySequence::SelectNextWord, Move::NextWord, true},
        {QKeySequence::MoveToPreviousWord, Move::PreviousWord, false},
        {QKeySequence::SelectPreviousWord, Move::PreviousWord, true},
        {QKeySequence::MoveToNextLine, Move::NextLine, false},
        {QKeySequence::SelectNextLine, Move::NextLine, true},
        {QKeySequence::MoveToPreviousLine, Move::PreviousLine, false},
        {QKeySequence::SelectPreviousLine, Move::PreviousLine, true},
        {QKeySequence::MoveToNextPage, Move::NextPage, false},
        {QKeySequence::SelectNextPage, Move::NextPage, true},
        {QKeySequence::MoveToPreviousPage, Move::PreviousPage, false},
        {QKeySequence::SelectPreviousPage, Move::PreviousPage, true},
        {QKeySequence::MoveToStartOfLine, Move::StartOfLine, false},
        {QKeySequence::SelectStartOfLine, Move::StartOfLine, true},
        {QKeySequence::MoveToEndOfLine, Move::EndOfLine, false},
        {QKeySequence::SelectEndOfLine, Move::EndOfLine, true},
        {QKeySequence::MoveToStartOfDocument, Move::StartOfText, false},
        {QKeySequence::SelectStartOfDocument, Move::StartOfText, true},
        {QKeySequence::MoveToEndOfDocument, Move::EndOfText, false},
        {QKeySequence::SelectEndOfDocument, Move::EndOfText, true},
    };
    for (const Binding& binding : bindings) {
        if (!event->matches(binding.key))
            continue;
        // Up and Down keep aiming at the column where a run of them began.
        const bool vertical = binding.move == Move::NextLine || binding.move == Move::PreviousLine
                              || binding.move == Move::NextPage || binding.move == Move::PreviousPage;
        const std::optional<int> goal = vertical ? std::optional(goalX_.value_or(ColumnX(cursor_))) : std::nullopt;
        goalX_ = goal;
        MoveCursor(Target(binding.move), binding.select);
        return;
    }
    event->ignore();
}

// --- mouse ------------------------------------------------------------------------------------------

void OutputView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint point = event->position().toPoint();
    const Position at = PositionAtPoint(point);
    if (tripleClickWindow_.isActive()
        && (point - doubleClickPoint_).manhattanLength() < QApplication::startDragDistance()) {
        tripleClickWindow_.stop();
        const bool last = at.line + 1 >= lines_.Count();
        Select({at.line, 0}, last ? Position{at.line, LineLength(at.line)} : Position{at.line + 1, 0});
        return;
    }
    Select(event->modifiers() & Qt::ShiftModifier ? anchor_ : at, at);
    dragging_ = true;
    dragPoint_ = point;
}

void OutputView::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_ || !(event->buttons() & Qt::LeftButton))
        return;
    DragTo(event->position().toPoint());
    if (viewport()->rect().contains(dragPoint_))
        dragScroll_.stop();
    else if (!dragScroll_.isActive())
        dragScroll_.start(DragScrollMs, this);
}

void OutputView::DragTo(QPoint point)
{
    dragPoint_ = point;
    cursor_ = PositionAtPoint(point);
    SelectionChanged();
}

void OutputView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !dragging_)
        return;
    dragging_ = false;
    dragScroll_.stop();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (HasSelection() && clipboard->supportsSelection())
        clipboard->setText(SelectedText(), QClipboard::Selection);
}

void OutputView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    doubleClickPoint_ = event->position().toPoint();
    SelectWordAt(PositionAtPoint(doubleClickPoint_));
    tripleClickWindow_.start(QApplication::doubleClickInterval(), this);
    dragging_ = false;
}

void OutputView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == tripleClickWindow_.timerId()) {
        tripleClickWindow_.stop();
    } else if (event->timerId() == dragScroll_.timerId()) {
        const QRect view = viewport()->rect();
        if (dragPoint_.y() < view.top())
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        else if (dragPoint_.y() > view.bottom())
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        if (dragPoint_.x() < view.left())
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        else if (dragPoint_.x() > view.right())
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        DragTo(dragPoint_);
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

void OutputView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copy = menu.addAction(CopyText, this, [this] { Copy(); });
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(HasSelection());
    QAction* all = menu.addAction(SelectAllText, this, [this] { SelectAll(); });
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(characters_ > 0);
    menu.addSeparator();
    menu.addAction(ToQt(SaveOutputMenuText), this, [this] { SaveToFile(); });
    menu.exec(event->globalPos());
}

void OutputView::SaveToFile()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested =
        QDir(folder).filePath(ToQt(SuggestedOutputFileName(std::chrono::system_clock::now())));
    QString chosen;
    {
        const EventQueue::ModalScope modal(WindowEvents());
        chosen = QFileDialog::getSaveFileName(window(), ToQt(SaveOutputDialogTitle), suggested,
                                              QStringLiteral("Textdateien (*.txt);;Alle Dateien (*)"));
    }
    if (chosen.isEmpty())
        return;
    // The window is painted on meanwhile, but takes no input: the pointer says it is busy.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string problem;
    const bool saved = SaveOutputLines(
        chosen.toStdString(), lines_.Count(), [this](std::size_t index) { return lines_.Line(index); }, "\n",
        [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }, problem);
    QApplication::restoreOverrideCursor();
    if (!saved)
        MessageDialog(SaveOutputProblemTitle, problem);
}
