// The output editor over Qt: a scroll area that lays out only the lines in sight, selection with
// mouse and keyboard, and copying, over the output model. What screen readers read it through is
// in output_accessible.cpp.
#include "platform/linux/output.h"
#include "platform/shared/layout.h"
#include "platform/linux/desktop.h"
#include "platform/shared/output_file.h"
#include "platform/shared/program_actions.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr qreal UnboundedLineWidth = 8e6;   // lines never wrap, however long

int ClampToInt(qint64 value)
{
    return static_cast<int>(std::clamp<qint64>(value, 0, INT_MAX));
}

QString ToQString(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

int Ceiling(qreal width)
{
    return static_cast<int>(std::clamp<qreal>(std::ceil(width), 0, INT_MAX));
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
    horizontalScrollBar()->setSingleStep(OutputHorizontalStep);
    verticalScrollBar()->setSingleStep(1);
    UpdateFontMetrics();
    UpdateScrollBars();
}

// --- the text ------------------------------------------------------------------------------------

void OutputView::AppendLine(std::string_view line)
{
    const bool first = model_.LineCount() == 0;
    const qint64 insertedAt = first ? 0 : model_.CharacterCount();
    model_.Append(line, *this);
    UpdateScrollBars();
    const std::size_t index = model_.LineCount() - 1;
    if (index <= model_.Top() + static_cast<std::size_t>(model_.Rows()))
        viewport()->update(0, static_cast<int>(model_.RowTop(index)), viewport()->width(), model_.LineHeight());
    if (QAccessible::isActive()) {
        const QString text = LineText(index);
        QAccessibleTextInsertEvent inserted(this, ClampToInt(insertedAt), first ? text : QLatin1Char('\n') + text);
        QAccessible::updateAccessibility(&inserted);
    }
}

void OutputView::Clear()
{
    QString removed;
    if (QAccessible::isActive() && model_.CharacterCount() > 0)
        removed = QString::fromStdString(model_.Text());
    model_.Clear();
    dragging_ = false;
    dragScroll_.stop();
    UpdateScrollBars();
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
    model_.SetTop(0);
    model_.SetLeft(0);
    UpdateScrollBars();
}

QString OutputView::LineText(std::size_t index) const
{
    const std::string_view line = model_.Line(index);
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

// --- measuring -----------------------------------------------------------------------------------

void OutputView::LayOut(QTextLayout& layout) const
{
    layout.setTextOption(textOption_);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(UnboundedLineWidth);
    layout.endLayout();
}

int OutputView::Width(std::u16string_view line) const
{
    if (line.empty())
        return 0;
    QTextLayout layout(ToQString(line), font(), viewport());
    LayOut(layout);
    return Ceiling(layout.lineAt(0).naturalTextWidth());
}

int OutputView::ColumnX(std::u16string_view line, int column) const
{
    QTextLayout layout(ToQString(line), font(), viewport());
    LayOut(layout);
    const QTextLine laid = layout.lineAt(0);
    return laid.isValid() ? static_cast<int>(std::lround(laid.cursorToX(column))) : 0;
}

int OutputView::ColumnAt(std::u16string_view line, int x) const
{
    QTextLayout layout(ToQString(line), font(), viewport());
    LayOut(layout);
    return layout.lineAt(0).xToCursor(x);
}

int OutputView::Step(std::u16string_view line, int column, OutputMove move) const
{
    const QTextLayout layout(ToQString(line), font(), viewport());
    const bool word = move == OutputMove::NextWord || move == OutputMove::PreviousWord;
    const auto unit = word ? QTextLayout::SkipWords : QTextLayout::SkipCharacters;
    if (move == OutputMove::NextChar || move == OutputMove::NextWord)
        return layout.nextCursorPosition(column, unit);
    return layout.previousCursorPosition(column, unit);
}

void OutputView::UpdateFontMetrics()
{
    const QFontMetrics metrics(font(), viewport());
    model_.SetMetrics(metrics.height(), OutputTextMargin);
    breakWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char(' ')));
}

// --- the view's place ----------------------------------------------------------------------------

// The vertical bar counts lines, the horizontal one pixels; both show where the model's view is.
void OutputView::UpdateScrollBars()
{
    model_.SetViewSize(viewport()->width(), viewport()->height());
    // The bars' signals come back through scrollContentsBy, which must not take the model's place
    // from a bar not yet set.
    syncing_ = true;
    QScrollBar* vertical = verticalScrollBar();
    vertical->setPageStep(model_.Rows());
    vertical->setRange(0, ClampToInt(static_cast<qint64>(model_.LastTop())));
    vertical->setValue(ClampToInt(static_cast<qint64>(model_.Top())));
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setPageStep(std::max(1, viewport()->width()));
    horizontal->setRange(0, model_.LastLeft());
    horizontal->setValue(model_.Left());
    syncing_ = false;
}

// Moves what is already painted rather than painting it again: a tick at the bottom paints one line.
void OutputView::scrollContentsBy(int dx, int dy)
{
    if (!syncing_) {
        model_.SetTop(static_cast<std::size_t>(verticalScrollBar()->value()));
        model_.SetLeft(horizontalScrollBar()->value());
    }
    const int margin = model_.Margin();
    const QRect text(0, margin, viewport()->width(), viewport()->height() - margin);
    const qint64 pixels = static_cast<qint64>(dy) * model_.LineHeight();
    if (std::abs(pixels) >= text.height() || std::abs(dx) >= text.width())
        viewport()->update();
    else
        viewport()->scroll(dx, static_cast<int>(pixels), text);
}

void OutputView::ScrollTo(Position position)
{
    model_.ScrollTo(position, *this);
    UpdateScrollBars();
}

void OutputView::resizeEvent(QResizeEvent*)
{
    UpdateScrollBars();
}

void OutputView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        UpdateFontMetrics();
        model_.Remeasure(*this);
        UpdateScrollBars();
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(event);
}

// --- painting ------------------------------------------------------------------------------------

void OutputView::PaintLine(QPainter& painter, std::size_t line, int y)
{
    QTextLayout layout(LineText(line), font(), viewport());
    LayOut(layout);
    QList<QTextLayout::FormatRange> selections;
    const OutputModel::LineSelection selected = model_.SelectionIn(line);
    if (selected.to > selected.from) {
        QTextLayout::FormatRange range;
        range.start = selected.from;
        range.length = selected.to - selected.from;
        range.format.setBackground(palette().highlight());
        range.format.setForeground(palette().highlightedText());
        selections.append(range);
    }
    const qreal width = layout.lineAt(0).naturalTextWidth();
    const QPointF origin(model_.TextX(0), y);
    layout.draw(&painter, origin, selections);
    if (selected.lineBreak)
        painter.fillRect(QRectF(origin.x() + width, y, breakWidth_, model_.LineHeight()), palette().highlight());
    widthsRaised_ = model_.NoteWidth(line, Ceiling(width)) || widthsRaised_;
}

void OutputView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const QRect area = event->rect();
    const auto [first, end] = model_.LinesIn(area.top(), area.bottom());
    for (std::size_t line = first; line < end; ++line)
        PaintLine(painter, line, static_cast<int>(model_.RowTop(line)));
    // A line wider than the range known (after a change of font) widens it once painting is done.
    if (widthsRaised_) {
        widthsRaised_ = false;
        QMetaObject::invokeMethod(this, [this] { UpdateScrollBars(); }, Qt::QueuedConnection);
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

// --- selection -----------------------------------------------------------------------------------

QString OutputView::TextBetween(Position from, Position to) const
{
    return ToQt(model_.TextBetween(from, to, "\n"));
}

QString OutputView::SelectedText() const
{
    return ToQt(model_.SelectedText("\n"));
}

void OutputView::Select(Position anchor, Position cursor)
{
    model_.Select(anchor, cursor);
    SelectionChanged();
}

void OutputView::SelectAll()
{
    model_.SelectAll();
    SelectionChanged();
}

void OutputView::Copy() const
{
    if (model_.HasSelection())
        QGuiApplication::clipboard()->setText(SelectedText());
}

void OutputView::SelectionChanged()
{
    viewport()->update();
    if (QAccessible::isActive()) {
        const auto [from, to] = std::minmax(model_.Anchor(), model_.Cursor());
        QAccessibleTextSelectionEvent event(this, ClampToInt(model_.OffsetOf(from)), ClampToInt(model_.OffsetOf(to)));
        event.setCursorPosition(ClampToInt(model_.OffsetOf(model_.Cursor())));
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
    Select({position.line, static_cast<int>(start)},
           {position.line, static_cast<int>(end < 0 ? text.size() : end)});
}

OutputView::Position OutputView::PositionAtPoint(QPoint point) const
{
    return model_.PositionAt(point.x(), point.y(), *this);
}

QRect OutputView::CharacterRect(Position position) const
{
    QTextLayout layout(LineText(position.line), font(), viewport());
    LayOut(layout);
    const QTextLine line = layout.lineAt(0);
    const int column = position.column;
    const qreal left = line.cursorToX(column);
    const qreal right =
        column < layout.text().size() ? line.cursorToX(layout.nextCursorPosition(column)) : left + breakWidth_;
    return QRect(model_.TextX(static_cast<int>(std::floor(left))), static_cast<int>(model_.RowTop(position.line)),
                 std::max(1, static_cast<int>(std::ceil(right - left))), model_.LineHeight());
}

// --- keyboard ---------------------------------------------------------------------------------------

void OutputView::keyPressEvent(QKeyEvent* event)
{
    // The menu key gives a context menu event by itself; Shift+F10 does so on other desktops.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        ShowContextMenu(CaretPoint());
        return;
    }
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
        OutputMove move;
        bool select;
    };
    static constexpr Binding bindings[] = {
        {QKeySequence::MoveToNextChar, OutputMove::NextChar, false},
        {QKeySequence::SelectNextChar, OutputMove::NextChar, true},
        {QKeySequence::MoveToPreviousChar, OutputMove::PreviousChar, false},
        {QKeySequence::SelectPreviousChar, OutputMove::PreviousChar, true},
        {QKeySequence::MoveToNextWord, OutputMove::NextWord, false},
        {QKeySequence::SelectNextWord, OutputMove::NextWord, true},
        {QKeySequence::MoveToPreviousWord, OutputMove::PreviousWord, false},
        {QKeySequence::SelectPreviousWord, OutputMove::PreviousWord, true},
        {QKeySequence::MoveToNextLine, OutputMove::NextLine, false},
        {QKeySequence::SelectNextLine, OutputMove::NextLine, true},
        {QKeySequence::MoveToPreviousLine, OutputMove::PreviousLine, false},
        {QKeySequence::SelectPreviousLine, OutputMove::PreviousLine, true},
        {QKeySequence::MoveToNextPage, OutputMove::NextPage, false},
        {QKeySequence::SelectNextPage, OutputMove::NextPage, true},
        {QKeySequence::MoveToPreviousPage, OutputMove::PreviousPage, false},
        {QKeySequence::SelectPreviousPage, OutputMove::PreviousPage, true},
        {QKeySequence::MoveToStartOfLine, OutputMove::StartOfLine, false},
        {QKeySequence::SelectStartOfLine, OutputMove::StartOfLine, true},
        {QKeySequence::MoveToEndOfLine, OutputMove::EndOfLine, false},
        {QKeySequence::SelectEndOfLine, OutputMove::EndOfLine, true},
        {QKeySequence::MoveToStartOfDocument, OutputMove::StartOfText, false},
        {QKeySequence::SelectStartOfDocument, OutputMove::StartOfText, true},
        {QKeySequence::MoveToEndOfDocument, OutputMove::EndOfText, false},
        {QKeySequence::SelectEndOfDocument, OutputMove::EndOfText, true},
    };
    for (const Binding& binding : bindings) {
        if (!event->matches(binding.key))
            continue;
        model_.Move(binding.move, binding.select, *this);
        UpdateScrollBars();
        SelectionChanged();
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
        model_.SelectLine(at.line);
        SelectionChanged();
        return;
    }
    Select(event->modifiers() & Qt::ShiftModifier ? model_.Anchor() : at, at);
    model_.BeginDrag();
    dragging_ = true;
    dragPoint_ = point;
}

void OutputView::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_ || !(event->buttons() & Qt::LeftButton))
        return;
    DragTo(event->position().toPoint());
    if (OutputModel::DragScrollAt(dragPoint_.x(), dragPoint_.y(), viewport()->width(), viewport()->height())
        == OutputModel::DragScroll{})
        dragScroll_.stop();
    else if (!dragScroll_.isActive())
        dragScroll_.start(static_cast<int>(OutputDragScrollInterval.count()), this);
}

void OutputView::DragTo(QPoint point)
{
    dragPoint_ = point;
    model_.DragTo(PositionAtPoint(point));
    SelectionChanged();
}

void OutputView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !dragging_)
        return;
    dragging_ = false;
    dragScroll_.stop();
    model_.EndDrag();
    UpdateScrollBars();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (model_.HasSelection() && clipboard->supportsSelection())
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
        const auto step =
            OutputModel::DragScrollAt(dragPoint_.x(), dragPoint_.y(), viewport()->width(), viewport()->height());
        if (step.y != 0)
            verticalScrollBar()->triggerAction(step.y < 0 ? QAbstractSlider::SliderSingleStepSub
                                                          : QAbstractSlider::SliderSingleStepAdd);
        if (step.x != 0)
            horizontalScrollBar()->triggerAction(step.x < 0 ? QAbstractSlider::SliderSingleStepSub
                                                            : QAbstractSlider::SliderSingleStepAdd);
        DragTo(dragPoint_);
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

void OutputView::contextMenuEvent(QContextMenuEvent* event)
{
    ShowContextMenu(event->reason() == QContextMenuEvent::Keyboard ? CaretPoint() : event->globalPos());
}

// From the keyboard the menu opens where the caret is (kept inside the view), as a mouse opens it
// where it points.
QPoint OutputView::CaretPoint() const
{
    const QRect caret = CharacterRect(model_.Cursor());
    const QRect view = viewport()->rect();
    return viewport()->mapToGlobal(QPoint(std::clamp(caret.left(), view.left(), view.right()),
                                          std::clamp(caret.bottom(), view.top(), view.bottom())));
}

void OutputView::ShowContextMenu(QPoint at)
{
    QMenu menu(this);
    QAction* copy = menu.addAction(ToQt(OutputCopyMenuText), this, [this] { Copy(); });
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(model_.HasSelection());
    QAction* all = menu.addAction(ToQt(OutputSelectAllMenuText), this, [this] { SelectAll(); });
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(model_.CharacterCount() > 0);
    menu.addSeparator();
    menu.addAction(ToQt(SaveOutputMenuText), this, [this] { SaveToFile(model_); });
    // The program's own entries: each a command for its loop.
    for (const MenuEntry& entry : OutputMenuEntries()) {
        QAction* item = menu.addAction(ToQt(entry.text), this,
                                       [action = entry.action] { WindowEvents().PostOnce(EventKind::Action, action); });
        // Shown only: the key itself is the program's, in every window.
        item->setShortcut(QKeySequence(ToQt(entry.shortcut)));
        item->setShortcutContext(Qt::WidgetShortcut);
        item->setShortcutVisibleInContextMenu(true);
    }
    menu.exec(at);
}
