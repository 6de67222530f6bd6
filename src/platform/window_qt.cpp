// The desktop over Qt Widgets: windows and controls by number, one queue of events for the
// program's loop, timers, modal dialogs and the default browser.
#include "platform/window.h"
#include "platform/output_view_qt.h"
#include "platform/qt_access.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QElapsedTimer>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cmath>
#include <deque>
#include <map>
#include <memory>

namespace {

// How long a new window may take to be mapped and exposed before it is painted anyway.
constexpr int ExposeWaitMs = 1000;

// The outer size of an input dialog, and its client size where the window manager adds no frame
// we can measure (a Windows-like caption and border).
constexpr QSize InputDialogOuterSize{300, 130};
constexpr QSize InputDialogClientSize{294, 101};
constexpr int FrameFitTries = 50;   // at 20 ms each: a busy window manager may take a while

class MainWindow;

struct Desktop {
    MainWindow* mainWindow = nullptr;
    std::map<int, QWidget*> controls;
    std::unique_ptr<QWidget> connectWindow;
    std::deque<Event> queue;
    std::map<int, QTimer*> timers;
    int modalDepth = 0;                    // open modal dialogs; their time drops timer ticks
    std::function<void(std::string_view)> webRecorder;
};

Desktop& D()
{
    static Desktop desktop;
    return desktop;
}

QString ToQt(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "\r" is a line break on screen, so "\r\r" shows as a break and an empty line.
QString ToShownText(std::string_view text)
{
    return ToQt(text).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

void Post(EventKind kind, int number)
{
    D().queue.push_back({kind, number});
}

// The close request only becomes an event: the program's loop decides what happens.
class MainWindow : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        Post(EventKind::Close, 0);
    }
};

// Focus changes of a control become control events.
class FocusWatcher : public QObject {
public:
    FocusWatcher(int number, QObject* parent) : QObject(parent), number_(number) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
            Post(EventKind::Control, number_);
        return QObject::eventFilter(watched, event);
    }

private:
    int number_;
};

struct ModalScope {
    ModalScope() { ++D().modalDepth; }
    ~ModalScope() { --D().modalDepth; }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
};

QRect PrimaryScreenRect()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

// Centres the window's outer frame on the whole primary screen (the taskbar is ignored).
void CentreOnScreen(QWidget* window)
{
    const QRect screen = PrimaryScreenRect();
    const QSize outer = window->frameGeometry().size();
    window->move(screen.x() + (screen.width() - outer.width()) / 2,
                 screen.y() + (screen.height() - outer.height()) / 2);
}

// Shows the window, waits (bounded) until the window system exposes it, and paints it now.
void ShowAndPaint(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
    QElapsedTimer waited;
    waited.start();
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) && waited.elapsed() < ExposeWaitMs)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    // The window manager's frame is known only once the window is mapped.
    CentreOnScreen(window);
    window->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QWidget* Control(int number)
{
    const auto found = D().controls.find(number);
    return found == D().controls.end() ? nullptr : found->second;
}

template <typename Widget>
Widget* ControlAs(int number)
{
    return dynamic_cast<Widget*>(Control(number));
}

QFont MakeFont(FontSpec wanted)
{
    QFont font{ToQt(wanted.face)};
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    font.setPixelSize(static_cast<int>(std::lround(wanted.points * dpi / 72.0)));
    font.setBold(wanted.bold);
    // Whole-pixel glyph advances, as the layout's fonts had: unhinted, the title runs 3 pixels
    // past its 400.
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// The fixed control sizes were laid out for the Windows GUI font: 8 points at 96 dpi, about as
// wide as Arial. Elsewhere Arial (or its metric twin) at that size keeps every label inside its
// control; the desktop's own family is the fallback.
QFont GuiFont()
{
    QFont font = QApplication::font();
#if !defined(Q_OS_WIN)
    font.setFamilies({QStringLiteral("Arial"), font.family()});
#endif
    font.setPixelSize(11);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// The program's picture, drawn rather than shipped: a board with its terminal block and a
// command prompt, 47 x 37 in 24-bit colour.
QImage DrawBoardPicture()
{
    QImage picture(47, 37, QImage::Format_RGB888);
    picture.fill(QColor(240, 240, 240));
    QPainter painter(&picture);
    painter.setPen(QColor(20, 70, 30));
    painter.setBrush(QColor(40, 130, 60));
    painter.drawRect(1, 4, 44, 29);
    painter.setBrush(QColor(0, 90, 200));
    painter.setPen(Qt::NoPen);
    for (int pin = 0; pin < 6; ++pin)
        painter.drawRect(5 + pin * 6, 6, 4, 5);
    painter.setBrush(QColor(20, 20, 20));
    painter.drawRect(5, 15, 36, 15);
    painter.setPen(QPen(QColor(0, 230, 0), 2));
    painter.drawLine(9, 18, 14, 22);
    painter.drawLine(14, 22, 9, 26);
    painter.drawLine(17, 26, 26, 26);
    return picture;
}

// The picture itself, and centred on the square sizes a Linux desktop asks for.
QIcon ProgramIcon()
{
    const QImage picture = DrawBoardPicture();
    QIcon icon(QPixmap::fromImage(picture));
    for (int side : {16, 24, 32, 48, 64, 128}) {
        QImage square(side, side, QImage::Format_ARGB32);
        square.fill(Qt::transparent);
        QPainter painter(&square);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QSize fitted = picture.size().scaled(side, side, Qt::KeepAspectRatio);
        painter.drawImage(QRect(QPoint((side - fitted.width()) / 2, (side - fitted.height()) / 2), fitted), picture);
        icon.addPixmap(QPixmap::fromImage(square));
    }
    return icon;
}

QWidget* CreateControl(const ControlSpec& control, QWidget* parent, FontSpec titleFont)
{
    QWidget* widget = nullptr;
    switch (control.kind) {
    case ControlKind::TitleText: {
        auto* label = new QLabel(ToQt(control.text), parent);
        label->setAlignment(Qt::AlignCenter);
        label->setFont(MakeFont(titleFont));
        widget = label;
        break;
    }
    case ControlKind::LineEdit: {
        auto* edit = new QLineEdit(ToQt(control.text), parent);
        QObject::connect(edit, &QLineEdit::textEdited, edit, [n = control.number] { Post(EventKind::Control, n); });
        edit->installEventFilter(new FocusWatcher(control.number, edit));
        widget = edit;
        break;
    }
    case ControlKind::Button:
    case ControlKind::Toggle: {
        auto* button = new QPushButton(ToQt(control.text), parent);
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setCheckable(control.kind == ControlKind::Toggle);
        // clicked, unlike toggled, comes from the user only.
        QObject::connect(button, &QPushButton::clicked, button, [n = control.number] { Post(EventKind::Control, n); });
        widget = button;
        break;
    }
    case ControlKind::OutputEditor: {
        auto* editor = new OutputView(parent);
        editor->installEventFilter(new FocusWatcher(control.number, editor));
        widget = editor;
        break;
    }
    }
    widget->setGeometry(control.left, control.top, control.width, control.height);
    if (!control.tooltip.empty())
        widget->setToolTip(ToQt(control.tooltip));
    if (!control.accessibleName.empty())
        widget->setAccessibleName(ToQt(control.accessibleName));
    return widget;
}

}  // namespace

void StartDesktop()
{
    if (QApplication::instance())
        return;
#if defined(__GLIBC__)
    // Blocks of a megabyte and more (the output's lines after a few hours of polling) get pages of
    // their own: clearing the output hands them back to the system, and growing moves pages rather
    // than copying them. By default glibc raises this limit once such a block is freed, and from
    // then on keeps a cleared week of lines at its high-water mark.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    static int argc = 1;
    static char name[] = "skarvel";
    static char* argv[] = {name, nullptr};
    // Created once and kept for the life of the process, as Qt expects.
    // The program keeps no log: Qt's own diagnostics (a missing sound server, say) go nowhere.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    auto* application = new QApplication(argc, argv);
    application->setQuitOnLastWindowClosed(false);
    application->setWindowIcon(ProgramIcon());
}

void EndDesktop()
{
    Desktop& d = D();
    for (auto& [number, timer] : d.timers)
        delete timer;
    d.timers.clear();
    d.controls.clear();
    delete d.mainWindow;
    d.mainWindow = nullptr;
    d.connectWindow.reset();
    d.queue.clear();
}

std::string InputDialog(std::string_view title, std::string_view prompt, std::string_view preset)
{
    StartDesktop();
    // Owned by the main window where there is one, so that it gets the activation back afterwards.
    QDialog dialog(D().mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog.setWindowTitle(ToQt(title));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setFixedSize(InputDialogClientSize);
    dialog.setFont(GuiFont());

    auto* label = new QLabel(ToQt(prompt), &dialog);
    label->setGeometry(10, 10, 280, 22);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto* edit = new QLineEdit(ToQt(preset), &dialog);
    edit->setGeometry(10, 32, 275, 21);
    edit->end(false);
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setGeometry(110, 67, 80, 25);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);

    // The window manager's frame is known only once the dialog is mapped: until then keep a
    // Windows-like client size, then fit the outer size and centre it.
    QTimer fitFrame;
    int fitTries = 0;
    QObject::connect(&fitFrame, &QTimer::timeout, &dialog, [&] {
        const QSize frame = dialog.frameGeometry().size() - dialog.size();
        if (!frame.isEmpty()) {
            dialog.setFixedSize(InputDialogOuterSize - frame);
            fitFrame.stop();
        } else if (++fitTries >= FrameFitTries) {
            fitFrame.stop();
        }
        CentreOnScreen(&dialog);
        dialog.raise();
        dialog.activateWindow();
    });
    fitFrame.start(20);
    // Showing the dialog focuses the field as if by Tab, which selects the preset: the caret goes
    // after the preset instead, with nothing selected.
    QTimer::singleShot(0, edit, [edit] {
        edit->setFocus(Qt::OtherFocusReason);
        edit->deselect();
        edit->end(false);
    });
    ModalScope modal;
    return dialog.exec() == QDialog::Accepted ? edit->text().toStdString() : std::string();
}

void MessageDialog(std::string_view title, std::string_view text)
{
    StartDesktop();
    QMessageBox box(QMessageBox::NoIcon, ToQt(title), ToShownText(text), QMessageBox::Ok, D().mainWindow);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setIcon(QIcon());   // a plain OK, as on every desktop
    box.setWindowModality(Qt::ApplicationModal);
    ModalScope modal;
    box.exec();
}

void OpenConnectWindow(std::string_view title, std::string_view text)
{
    StartDesktop();
    auto window = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                                         | Qt::MSWindowsFixedSizeDialogHint);
    window->setWindowTitle(ToQt(title));
    window->setFixedSize(250, 90);
    window->setFont(GuiFont());
    auto* label = new QLabel(ToShownText(text), window.get());
    label->setGeometry(10, 10, 230, 70);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    D().connectWindow = std::move(window);
    ShowAndPaint(D().connectWindow.get());
}

void CloseConnectWindow()
{
    D().connectWindow.reset();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool OpenMainWindow(std::string_view title, int clientWidth, int clientHeight, FontSpec titleFont,
                    std::span<const ControlSpec> controls)
{
    StartDesktop();
    Desktop& d = D();
    auto* window = new MainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                                     | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                                                     | Qt::WindowCloseButtonHint);
    window->setWindowTitle(ToQt(title));
    window->setFixedSize(clientWidth, clientHeight);
    window->setFont(GuiFont());
    // Tips show also while another window is in front.
    window->setAttribute(Qt::WA_AlwaysShowToolTips);
    QWidget* previous = nullptr;
    for (const ControlSpec& control : controls) {
        QWidget* widget = CreateControl(control, window, titleFont);
        d.controls[control.number] = widget;
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previous)
                QWidget::setTabOrder(previous, widget);
            previous = widget;
        }
    }
    d.mainWindow = window;
    ShowAndPaint(window);
    return true;
}

void StartTimer(int number, std::chrono::milliseconds period)
{
    StartDesktop();
    auto* timer = new QTimer();
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [number] {
        if (D().modalDepth == 0 && !QApplication::activeModalWidget())
            Post(EventKind::Timer, number);
    });
    timer->start(period);
    delete D().timers[number];
    D().timers[number] = timer;
}

Event WaitWindowEvent(std::chrono::milliseconds limit)
{
    Desktop& d = D();
    if (d.queue.empty()) {
        // Sleeps in the window system's wait; the single-shot timer caps it.
        bool expired = false;
        QTimer wake;
        wake.setSingleShot(true);
        QObject::connect(&wake, &QTimer::timeout, [&expired] { expired = true; });
        wake.start(limit);
        while (d.queue.empty() && !expired)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (d.queue.empty())
        return {};
    const Event event = d.queue.front();
    d.queue.pop_front();
    return event;
}

std::string GetText(int control)
{
    if (auto* edit = ControlAs<QLineEdit>(control))
        return edit->text().toStdString();
    if (auto* editor = ControlAs<OutputView>(control))
        return editor->Text();
    if (auto* button = ControlAs<QAbstractButton>(control))
        return button->text().toStdString();
    if (auto* label = ControlAs<QLabel>(control))
        return label->text().toStdString();
    return {};
}

void SetText(int control, std::string_view text)
{
    if (auto* edit = ControlAs<QLineEdit>(control))
        edit->setText(ToQt(text));
    else if (auto* button = ControlAs<QAbstractButton>(control))
        button->setText(ToQt(text));
    else if (auto* label = ControlAs<QLabel>(control))
        label->setText(ToQt(text));
}

void SetEnabled(int control, bool enabled)
{
    if (QWidget* widget = Control(control))
        widget->setEnabled(enabled);
}

bool IsEnabled(int control)
{
    const QWidget* widget = Control(control);
    return widget && widget->isEnabled();
}

void Focus(int control)
{
    if (QWidget* widget = Control(control))
        widget->setFocus(Qt::OtherFocusReason);
}

bool IsPressed(int toggle)
{
    const auto* button = ControlAs<QAbstractButton>(toggle);
    return button && button->isChecked();
}

void Release(int toggle)
{
    if (auto* button = ControlAs<QAbstractButton>(toggle))
        button->setChecked(false);
}

void ClearOutput(int editor)
{
    if (auto* view = ControlAs<OutputView>(editor))
        view->Clear();
}

void AppendLine(int editor, std::string_view line)
{
    if (auto* view = ControlAs<OutputView>(editor))
        view->AppendLine(line);
}

void SetTextColour(int editor, Rgb colour)
{
    if (auto* view = ControlAs<OutputView>(editor))
        view->SetTextColour(QColor(colour.red, colour.green, colour.blue));
}

void ShowFirstLine(int editor)
{
    if (auto* view = ControlAs<OutputView>(editor))
        view->ShowFirstLine();
}

void OpenWebAddress(std::string_view address)
{
    if (D().webRecorder) {
        D().webRecorder(address);
        return;
    }
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // QUrl would normalise the address (dropping a trailing ":"); xdg-open gets it as built, as
    // its one argument, with no shell in between.
    QProcess::startDetached(QStringLiteral("xdg-open"), {ToQt(address)});
#else
    QDesktopServices::openUrl(QUrl(ToQt(address), QUrl::TolerantMode));
#endif
}

void SetWebAddressRecorder(std::function<void(std::string_view)> recorder)
{
    D().webRecorder = std::move(recorder);
}

QWidget* ControlWidget(int number)
{
    return Control(number);
}

QWidget* MainWindowWidget()
{
    return D().mainWindow;
}

QWidget* ConnectWindowWidget()
{
    return D().connectWindow.get();
}
