// The output editor as screen readers see it: a read-only multi-line text, read through Qt's
// accessibility interface by the view's class name.
#include "platform/linux/output.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include <algorithm>
#include <climits>

namespace {

int ClampToInt(qint64 value)
{
    return static_cast<int>(std::clamp<qint64>(value, 0, INT_MAX));
}

// What a screen reader reads the output through: a read-only multi-line text. Offsets count
// characters over the whole text, lines joined by one break each.
class OutputViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit OutputViewAccessible(OutputView* view) : QAccessibleWidget(view, QAccessible::EditableText) {}

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        state.focusable = true;
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex != 0 || !Model().HasSelection())
            return;
        const auto [from, to] = std::minmax(Model().Anchor(), Model().Cursor());
        *startOffset = ClampToInt(Model().OffsetOf(from));
        *endOffset = ClampToInt(Model().OffsetOf(to));
    }
    int selectionCount() const override { return Model().HasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int) override { View()->Select(Model().Cursor(), Model().Cursor()); }
    void setSelection(int, int startOffset, int endOffset) override
    {
        View()->Select(Model().PositionAtOffset(startOffset), Model().PositionAtOffset(endOffset));
    }

    int cursorPosition() const override { return ClampToInt(Model().OffsetOf(Model().Cursor())); }
    void setCursorPosition(int position) override
    {
        const OutputView::Position at = Model().PositionAtOffset(position);
        View()->Select(at, at);
    }

    QString text(int startOffset, int endOffset) const override
    {
        return View()->TextBetween(Model().PositionAtOffset(startOffset), Model().PositionAtOffset(endOffset));
    }
    int characterCount() const override { return ClampToInt(Model().CharacterCount()); }

    // Lines are answered from the lines themselves; characters, words and sentences by Qt's rules.
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override
    {
        if (!ByLines(type))
            return QAccessibleTextInterface::textAtOffset(offset, type, start, end);
        return LineAt(LineOf(offset), start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override
    {
        if (!ByLines(type))
            return QAccessibleTextInterface::textBeforeOffset(offset, type, start, end);
        const qint64 line = LineOf(offset);
        return LineAt(line < 0 ? line : line - 1, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override
    {
        if (!ByLines(type))
            return QAccessibleTextInterface::textAfterOffset(offset, type, start, end);
        const qint64 line = LineOf(offset);
        return LineAt(line < 0 ? line : line + 1, start, end);
    }

    QRect characterRect(int offset) const override
    {
        const QRect rect = View()->CharacterRect(Model().PositionAtOffset(offset));
        return QRect(View()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        const QPoint local = View()->viewport()->mapFromGlobal(point);
        if (!View()->viewport()->rect().contains(local))
            return -1;
        return ClampToInt(Model().OffsetOf(View()->PositionAtPoint(local)));
    }
    void scrollToSubstring(int startIndex, int) override { View()->ScrollTo(Model().PositionAtOffset(startIndex)); }
    QString attributes(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    OutputView* View() const { return static_cast<OutputView*>(widget()); }
    const OutputModel& Model() const { return View()->Model(); }

    static bool ByLines(QAccessible::TextBoundaryType type)
    {
        return type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary;
    }

    // The line holding the offset; -1 for none. -1 stands for the end, -2 for the cursor.
    qint64 LineOf(int offset) const
    {
        if (offset == -1)
            offset = characterCount();
        else if (offset == -2)
            offset = cursorPosition();
        if (View()->LineCount() == 0 || offset < 0 || offset > Model().CharacterCount())
            return -1;
        return static_cast<qint64>(Model().PositionAtOffset(offset).line);
    }

    // A line with the break that ends it, as screen readers take a line.
    QString LineAt(qint64 line, int* start, int* end) const
    {
        if (line < 0 || line >= static_cast<qint64>(View()->LineCount())) {
            *start = *end = -1;
            return {};
        }
        const auto index = static_cast<std::size_t>(line);
        QString text = View()->LineText(index);
        if (index + 1 < View()->LineCount())
            text += QLatin1Char('\n');
        const qint64 from = Model().OffsetOf({index, 0});
        *start = ClampToInt(from);
        *end = ClampToInt(from + text.size());
        return text;
    }
};

}  // namespace

QAccessibleInterface* AccessibleOutputView(const QString& key, QObject* object)
{
    if (key == QLatin1String(OutputView::staticMetaObject.className()) && object && object->isWidgetType())
        return new OutputViewAccessible(static_cast<OutputView*>(object));
    return nullptr;
}
