// The desktop over Qt Widgets: the main window and its controls by number, one queue of events
// for the program's loop, timers, the clipboard, the default browser, and telling the click's sound
// when a press may come. The session's start and end and the wait for the board are in session.cpp,
// dialogs in dialogs.cpp, fonts in fonts.cpp, the output editor in output.cpp.
#include "platform/window.h"
#include "platform/audio.h"
#include "platform/linux/desktop.h"
#include "platform/linux/output.h"
#include "platform/linux/qt_access.h"
#include "platform/shared/program_actions.h"
#include "platform/shared/web_recorder.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

namespace {

// The largest square of the program's icon that its windows carry.
constexpr int LargestWindowIcon = 64;

// The close request only becomes an event: the program's loop decides what happens.
class MainWindow : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        WindowEvents().Post(EventKind::Close, 0);
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
            WindowEvents().Post(EventKind::Control, number_);
        return QObject::eventFilter(watched, event);
    }

private:
    int number_;
};

// Up and Down in a field go to the program (its command history); the field does nothing with
// them itself.
class KeyWatcher : public QObject {
public:
    KeyWatcher(int number, QObject* parent) : QObject(parent), number_(number) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* press = static_cast<QKeyEvent*>(event);
            const Key key = press->key() == Qt::Key_Up ? Key::Up : press->key() == Qt::Key_Down ? Key::Down : Key::None;
            if (key != Key::None && press->modifiers() == Qt::NoModifier) {
                WindowEvents().PostKey(number_, key);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    int number_;
};

// F keys the program took (SetFunctionKey) raise its commands in any of its windows.
class FunctionKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
            const auto* press = static_cast<QKeyEvent*>(event);
            const std::optional<int> command =
                press->key() >= Qt::Key_F1 && press->key() <= Qt::Key_F35 ? FunctionKeyAction(press->key() - Qt::Key_F1 + 1)
                                                                          : std::nullopt;
            if (command && press->modifiers() == Qt::NoModifier && watched->isWidgetType()
                && !QApplication::activeModalWidget()) {
                if (event->type() == QEvent::KeyPress && !press->isAutoRepeat())
                    WindowEvents().PostOnce(EventKind::Action, *command);
                event->accept();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

// Tells the click's stream when a press may come: every sign of one (a window of the program
// activated, the pointer coming over or moving over one, a key) wakes it, once the main window
// stands; once the program has gone AudioSuspendDelay without input, in front or not, it may be suspended.
class PressWatch : public QObject {
public:
    explicit PressWatch(QObject* parent) : QObject(parent)
    {
        suspendTimer_.setSingleShot(true);
        QObject::connect(&suspendTimer_, &QTimer::timeout, this, [this] { SuspendWhenQuiet(); });
        suspendTimer_.start(AudioSuspendDelay);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ApplicationStateChange:
        case QEvent::WindowActivate:
            if (QApplication::activeWindow())
                NoteInput();
            break;
        case QEvent::Enter:
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::Wheel:
        case QEvent::KeyPress:
            NoteInput();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void NoteInput()
    {
        lastInput_ = std::chrono::steady_clock::now();
        if (TheDesktop().mainWindow)
            ResumeAudio();
    }

    // Checks again once AudioSuspendDelay has passed since the last input; a click started without
    // any (a screen reader's press) keeps the stream awake until the next check.
    void SuspendWhenQuiet()
    {
        const auto quiet = std::chrono::steady_clock::now() - lastInput_;
        if (quiet < AudioSuspendDelay) {
            suspendTimer_.start(std::chrono::ceil<std::chrono::milliseconds>(AudioSuspendDelay - quiet));
            return;
        }
        SuspendAudio();
        suspendTimer_.start(AudioSuspendDelay);
    }

    QTimer suspendTimer_;
    std::chrono::steady_clock::time_point lastInput_ = std::chrono::steady_clock::now();
};

QRect PrimaryScreenRect()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

QWidget* Control(int number)
{
    const auto found = TheDesktop().controls.find(number);
    return found == TheDesktop().controls.end() ? nullptr : found->second;
}

template <typename Widget>
Widget* ControlAs(int number)
{
    return dynamic_cast<Widget*>(Control(number));
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
        QObject::connect(edit, &QLineEdit::textEdited, edit, [n = control.number] { WindowEvents().Post(EventKind::Control, n); });
        edit->installEventFilter(new FocusWatcher(control.number, edit));
        edit->installEventFilter(new KeyWatcher(control.number, edit));
        widget = edit;
        break;
    }
    case ControlKind::Button:
    case ControlKind::Toggle: {
        auto* button = new QPushButton(ToQt(control.text), parent);
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setCheckable(control.kind == ControlKind::Toggle);
        // clicked, unlike toggled, comes from the user only. Each click of a toggle changes its
        // state, so each counts; a button's further clicks before its first is handled add nothing.
        const bool toggle = control.kind == ControlKind::Toggle;
        // Pressed in, a toggle is drawn in the theme's highlight: the style's own sunken look is
        // hard to tell from a plain button, in a dark theme most of all.
        if (toggle)
            button->setStyleSheet(QStringLiteral("QPushButton:checked { background-color: palette(highlight);"
                                                 " color: palette(highlighted-text); border: 1px solid palette(dark);"
                                                 " border-radius: 2px; }"));
        QObject::connect(button, &QPushButton::clicked, button, [n = control.number, toggle] {
            toggle ? WindowEvents().Post(EventKind::Control, n) : WindowEvents().PostOnce(EventKind::Control, n);
        });
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

bool HasFittedText(ControlKind kind)
{
    return kind != ControlKind::LineEdit && kind != ControlKind::OutputEditor;
}

}  // namespace

Desktop& TheDesktop()
{
    static Desktop desktop;
    return desktop;
}

void CentreOnScreen(QWidget* window)
{
    const QRect screen = PrimaryScreenRect();
    const QSize outer = window->frameGeometry().size();
    window->move(screen.x() + (screen.width() - outer.width()) / 2,
                 screen.y() + (screen.height() - outer.height()) / 2);
}

// The program's picture (47 x 37) and the square sizes up to 64 that a window's frame, task bar
// or switcher shows, as tools/make_icon.cpp draws them; the build puts its files under :/icons.
// The larger ones are for the desktop entry's icon theme: in a window's icon they would be read
// and sent to the window manager with every window, for some ms each time.
void GiveProgramIcon()
{
    if (!QGuiApplication::windowIcon().isNull())
        return;
    QIcon icon;
    for (const QFileInfo& file : QDir(QStringLiteral(":/icons")).entryInfoList({QStringLiteral("*.png")})) {
        QImageReader picture(file.filePath(), "PNG");
        if (picture.size().width() <= LargestWindowIcon)
            icon.addPixmap(QPixmap::fromImageReader(&picture));
    }
    QGuiApplication::setWindowIcon(icon);
}

void ShowAndPaint(QWidget* window, const std::function<void()>& meanwhile)
{
    window->show();
    window->raise();
    window->activateWindow();
    if (meanwhile)
        meanwhile();
    PaintExposed(window);
}

void PaintExposed(QWidget* window, std::chrono::milliseconds limit)
{
    // Asleep until the window system answers: the window manager, which maps the window, needs
    // the processor more than this loop does.
    bool expired = false;
    QTimer expiry;
    expiry.setSingleShot(true);
    QObject::connect(&expiry, &QTimer::timeout, [&expired] { expired = true; });
    expiry.start(limit);
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) && !expired)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    // The window manager's frame is known only once the window is mapped.
    CentreOnScreen(window);
    window->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void WatchInput(QApplication* application)
{
    application->installEventFilter(new PressWatch(application));
    application->installEventFilter(new FunctionKeys(application));
}

bool OpenMainWindow(std::string_view title, int clientWidth, int clientHeight, FontSpec titleFont,
                    std::span<const ControlSpec> controls)
{
    StartDesktop();
    Desktop& d = TheDesktop();
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
    ShowAndPaint(window, [controls] {
        for (const ControlSpec& control : controls)
            if (HasFittedText(control.kind))
                FitTextToControl(Control(control.number));
    });
    // Once the window stands: the window manager takes the icon up when it comes, and a press
    // may come from now on.
    GiveProgramIcon();
    if (QApplication::activeWindow())
        ResumeAudio();
    return true;
}

void SetMainWindowTitle(std::string_view title)
{
    if (QWidget* window = TheDesktop().mainWindow)
        window->setWindowTitle(ToQt(title));
}

void StartTimer(int number, std::chrono::milliseconds period)
{
    StartDesktop();
    auto* timer = new QTimer();
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [number] {
        // A modal window of Qt's own counts as one of the program's.
        WindowEvents().PostTick(number, QApplication::activeModalWidget() != nullptr);
    });
    timer->start(period);
    delete TheDesktop().timers[number];
    TheDesktop().timers[number] = timer;
}

void StopTimer(int number)
{
    Desktop& d = TheDesktop();
    if (const auto running = d.timers.find(number); running != d.timers.end()) {
        delete running->second;
        d.timers.erase(running);
    }
}

std::chrono::steady_clock::time_point TimerClockNow()
{
    return std::chrono::steady_clock::now();
}

Event WaitWindowEvent(std::chrono::milliseconds limit)
{
    HandOnHeldKeys();
    EventQueue& events = WindowEvents();
    if (events.Empty()) {
        // Sleeps in the window system's wait; the single-shot timer caps it.
        bool expired = false;
        QTimer wake;
        wake.setSingleShot(true);
        QObject::connect(&wake, &QTimer::timeout, [&expired] { expired = true; });
        wake.start(limit);
        while (events.Empty() && !expired)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return events.Take();
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

// The text the control holds already is not set again: that would move the caret and tell a
// screen reader of a change on every poll.
void SetText(int control, std::string_view text)
{
    const QString wanted = ToQt(text);
    if (auto* edit = ControlAs<QLineEdit>(control)) {
        if (edit->text() != wanted)
            edit->setText(wanted);
    } else if (auto* button = ControlAs<QAbstractButton>(control)) {
        if (button->text() != wanted) {
            button->setText(wanted);
            FitTextToControl(button);
        }
    } else if (auto* label = ControlAs<QLabel>(control)) {
        if (label->text() != wanted) {
            label->setText(wanted);
            FitTextToControl(label);
        }
    }
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

int FocusedControl()
{
    const QWidget* window = TheDesktop().mainWindow;
    const QWidget* focused = window ? window->focusWidget() : nullptr;
    for (const auto& [number, widget] : TheDesktop().controls)
        if (focused && widget == focused)
            return number;
    return 0;
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

bool CopyToClipboard(std::string_view text)
{
    QGuiApplication::clipboard()->setText(ToQt(text));
    return true;
}

void OpenWebAddress(std::string_view address)
{
    if (RecordWebAddress(address))
        return;
    // QUrl would normalise the address (dropping a trailing ":"); xdg-open gets it as built, as
    // its one argument, with no shell in between.
    QProcess::startDetached(QStringLiteral("xdg-open"), {ToQt(address)});
}

void PauseFor(std::chrono::milliseconds span)
{
    std::this_thread::sleep_for(span);
}

QWidget* ControlWidget(int number)
{
    return Control(number);
}

QWidget* MainWindowWidget()
{
    return TheDesktop().mainWindow;
}

QWidget* ConnectWindowWidget()
{
    return TheDesktop().connectWindow.get();
}
