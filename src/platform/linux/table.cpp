// The table window of the Qt front end: a table of rows the program fills cell by cell, a status
// line under it, the keyboard first (arrows, Space and Enter activate a row, Ctrl+A, Ctrl+C,
// Escape closes), the program's entries in its context menu.
#include "platform/linux/desktop.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/shared/program_actions.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

// A changed row stands out in the colour of a marker pen, its text as dark as ever.
const QColor HighlightColour(255, 236, 140);
// A key released and pressed again sooner than a hand can: the window system's repeat.
constexpr unsigned long RepeatGap = 20;   // ms

class TableWindow : public QWidget {
public:
    TableWindow(const TableWindowSpec& shape, QWidget* owner)
        : QWidget(owner, Qt::Window), copyAction_(shape.copyAction), closedAction_(shape.closedAction)
    {
        setWindowTitle(ToQt(shape.title));
        setFont(GuiFont());
        resize(shape.clientWidth, shape.clientHeight);
        auto* layout = new QVBoxLayout(this);
        table_ = new QTableWidget(0, static_cast<int>(shape.headers.size()), this);
        QStringList headers;
        for (const std::string_view header : shape.headers)
            headers << ToQt(header);
        table_->setHorizontalHeaderLabels(headers);
        for (std::size_t column = 0; column < shape.columnWidths.size(); ++column)
            table_->setColumnWidth(static_cast<int>(column), shape.columnWidths[column]);
        // The names take what the window gains.
        if (shape.headers.size() >= 2)
            table_->horizontalHeader()->setSectionResizeMode(static_cast<int>(shape.headers.size()) - 2, QHeaderView::Stretch);
        table_->verticalHeader()->hide();
        // Rows as tall as a line of text, as a list view has them.
        table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
        table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table_->setSelectionBehavior(QAbstractItemView::SelectRows);
        table_->setTabKeyNavigation(false);
        table_->setContextMenuPolicy(Qt::DefaultContextMenu);
        table_->setAccessibleName(ToQt(shape.title));
        table_->installEventFilter(this);
        // A double click; Space and Enter are taken below.
        QObject::connect(table_, &QTableWidget::itemActivated, this,
                         [](QTableWidgetItem* item) { WindowEvents().Post(EventKind::Row, item->row()); });
        status_ = new QLabel(this);
        layout->addWidget(table_);
        layout->addWidget(status_);
    }

    QTableWidget* Table() { return table_; }
    QLabel* Status() { return status_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == table_ && event->type() == QEvent::KeyPress) {
            const auto* press = static_cast<QKeyEvent*>(event);
            if (press->matches(QKeySequence::Copy)) {
                WindowEvents().PostOnce(EventKind::Action, copyAction_);
                return true;
            }
            if (press->key() == Qt::Key_Escape && press->modifiers() == Qt::NoModifier) {
                WindowEvents().PostOnce(EventKind::Action, closedAction_);
                return true;
            }
            // Once a press: a key held down repeats, and a repeat never switches. Not every repeat
            // says so (one that came while the program was busy may not): a key counts as held
            // until it is released, and a press that follows its release at once (the window
            // system's repeat, a release and a press of the same moment) as a repeat.
            const bool activates = press->key() == Qt::Key_Space || press->key() == Qt::Key_Return
                                   || press->key() == Qt::Key_Enter;
            if (activates && press->modifiers() == Qt::NoModifier) {
                const auto released = released_.find(press->key());
                const bool repeated = press->isAutoRepeat() || held_.contains(press->key())
                                      || (released != released_.end() && press->timestamp() - released->second < RepeatGap);
                held_.insert(press->key());
                if (!repeated && table_->currentRow() >= 0)
                    WindowEvents().Post(EventKind::Row, table_->currentRow());
                return true;
            }
        }
        if (watched == table_ && event->type() == QEvent::ContextMenu) {
            QMenu menu(this);
            for (const MenuEntry& entry : TableMenuEntries())
                menu.addAction(ToQt(entry.text), this,
                               [action = entry.action] { WindowEvents().PostOnce(EventKind::Action, action); });
            if (!menu.isEmpty())
                menu.exec(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
        if (watched == table_ && event->type() == QEvent::KeyRelease) {
            const auto* release = static_cast<QKeyEvent*>(event);
            held_.erase(release->key());
            released_[release->key()] = release->timestamp();
        }
        return QWidget::eventFilter(watched, event);
    }

    // The program is told; it closes the window itself.
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        WindowEvents().PostOnce(EventKind::Action, closedAction_);
    }

private:
    int copyAction_;
    int closedAction_;
    std::set<int> held_;   // keys pressed and not yet released
    std::map<int, unsigned long> released_;   // a key's last release, on the window system's clock
    QTableWidget* table_ = nullptr;
    QLabel* status_ = nullptr;
};

TableWindow* Shown()
{
    return static_cast<TableWindow*>(TheDesktop().tableWindow.get());
}

QTableWidgetItem* Cell(int row, int column)
{
    TableWindow* window = Shown();
    if (!window || row < 0 || row >= window->Table()->rowCount() || column < 0
        || column >= window->Table()->columnCount())
        return nullptr;
    QTableWidgetItem* item = window->Table()->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        window->Table()->setItem(row, column, item);
    }
    return item;
}

}  // namespace

// Beside the main window where the screen has room, else over it: never partly off the screen.
void PlaceBesideMainWindow(QWidget* window)
{
    const QWidget* main = TheDesktop().mainWindow;
    const QScreen* screen = main ? main->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QRect beside = main ? main->frameGeometry() : QRect(room.center(), QSize());
    const QSize size = window->frameGeometry().size().boundedTo(room.size());
    int left = beside.right() + 1 + size.width() <= room.right() ? beside.right() + 1 : beside.left() - size.width();
    left = std::clamp(left, room.left(), room.right() + 1 - size.width());
    const int top = std::clamp(beside.top(), room.top(), room.bottom() + 1 - size.height());
    window->move(left, top);
}

void OpenTableWindow(const TableWindowSpec& shape)
{
    StartDesktop();
    if (!Shown()) {
        TheDesktop().tableWindow = std::make_unique<TableWindow>(shape, TheDesktop().mainWindow);
        PlaceBesideMainWindow(Shown());
    }
    GiveProgramIcon();
    Shown()->show();
    Shown()->raise();
    Shown()->activateWindow();
    Shown()->Table()->setFocus(Qt::OtherFocusReason);
}

void CloseTableWindow()
{
    TheDesktop().tableWindow.reset();
}

bool TableWindowOpen()
{
    return Shown() != nullptr;
}

void SetTableRows(int count)
{
    if (TableWindow* window = Shown())
        window->Table()->setRowCount(count);
}

void SetTableCell(int row, int column, std::string_view text)
{
    if (QTableWidgetItem* item = Cell(row, column); item && item->text() != ToQt(text))
        item->setText(ToQt(text));
}

void SetTableRowHighlighted(int row, bool highlighted)
{
    TableWindow* window = Shown();
    for (int column = 0; window && column < window->Table()->columnCount(); ++column)
        if (QTableWidgetItem* item = Cell(row, column)) {
            item->setBackground(highlighted ? QBrush(HighlightColour) : QBrush());
            item->setForeground(highlighted ? QBrush(Qt::black) : QBrush());
        }
}

void SetTableStatus(std::string_view text)
{
    if (TableWindow* window = Shown())
        window->Status()->setText(ToQt(text));
}

void SetTableStale(bool stale)
{
    TableWindow* window = Shown();
    if (!window)
        return;
    // Greyed as the style greys what is not to be taken at its word; highlighted rows keep theirs.
    QPalette palette = window->Table()->palette();
    const QPalette plain = QApplication::palette(window->Table());
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::Text, stale ? plain.color(QPalette::Disabled, QPalette::Text) : plain.color(group, QPalette::Text));
    window->Table()->setPalette(palette);
}

std::vector<int> SelectedTableRows()
{
    std::vector<int> rows;
    if (TableWindow* window = Shown())
        for (const QModelIndex& index : window->Table()->selectionModel()->selectedRows())
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}
