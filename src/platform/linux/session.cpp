// The desktop session over Qt: starting Qt with its messages and translation, the wait for the
// board that keeps windows painted, and the end. The windows are in window.cpp.
#include "platform/window.h"
#include "platform/linux/desktop.h"
#include "platform/net.h"
#include "platform/shared/program_actions.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>
#include <QTranslator>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

// --- the wait for the board ------------------------------------------------------------------

namespace {

// The keys the user types while the program waits for the board: held back, in order, and
// handed on once the program is ready for events again, so that typed text lands in the field
// the program gave the focus back to. The pointer goes on meanwhile: a click on a button
// disabled for the exchange is lost, one on the polling toggle takes at once. Qt's own way of
// holding input back (ExcludeUserInputEvents) kept a click from ever arriving while exchanges
// followed each other, and once lost a close request.
class KeyHold : public QObject {
public:
    void HandOn()
    {
        for (auto& [receiver, event] : std::exchange(held_, {}))
            if (receiver)
                QCoreApplication::sendEvent(receiver, event.get());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Only what the window system delivers to a window: Qt sends it on to the focus widget
        // when it is handed on.
        const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
        if (!key || !event->spontaneous() || !watched->isWindowType())
            return false;
        held_.emplace_back(watched, std::unique_ptr<QEvent>(event->clone()));
        return true;
    }

private:
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> held_;
};

KeyHold& Held()
{
    static KeyHold hold;
    return hold;
}

// Every wait for the board passes here (StartDesktop installs it into the socket layer): the
// windows keep being painted and keep answering the window manager's ping, while the keys are
// held back and timer ticks only queue up.
void WaitForSocket(Socket socket, SocketWaitKind kind, std::chrono::milliseconds limit)
{
    // The connect window is painted at the first wait: a board that answers at once does not
    // wait for the window system. The caller then checks again and comes back for the rest.
    if (Desktop& d = TheDesktop(); d.connectWindow && !d.connectWindowPainted) {
        d.connectWindowPainted = true;
        PaintExposed(d.connectWindow.get(), limit);
        return;
    }
    bool done = false;
    std::optional<QSocketNotifier> notifier;
    if (kind != SocketWaitKind::Pause) {
        notifier.emplace(static_cast<qintptr>(socket.handle),
                         kind == SocketWaitKind::Readable ? QSocketNotifier::Read : QSocketNotifier::Write);
        QObject::connect(&*notifier, &QSocketNotifier::activated, [&done] { done = true; });
    }
    QTimer expiry;
    expiry.setSingleShot(true);
    expiry.setTimerType(Qt::PreciseTimer);
    QObject::connect(&expiry, &QTimer::timeout, [&done] { done = true; });
    expiry.start(limit);
    QCoreApplication::instance()->installEventFilter(&Held());
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::instance()->removeEventFilter(&Held());
    if (notifier)
        notifier->setEnabled(false);
}

}  // namespace

void HandOnHeldKeys()
{
    Held().HandOn();
}

// --- the start -------------------------------------------------------------------------------

namespace {

// The program keeps no log: Qt's own diagnostics (a missing sound server, say) go nowhere. When
// Qt cannot go on at all, typically for want of a desktop, it says why on standard error, with
// what it noted while the desktop was starting, and the program ends.
struct StartMessages {
    std::mutex mutex;   // Qt may speak from its own threads
    bool noting = false;
    QStringList lines;
};

StartMessages& Noted()
{
    static StartMessages noted;
    return noted;
}

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    StartMessages& noted = Noted();
    const std::lock_guard lock(noted.mutex);
    if (noted.noting || type == QtFatalMsg)
        noted.lines.append(qFormatLogMessage(type, context, message));
    if (type != QtFatalMsg)
        return;
    for (const QString& line : noted.lines)
        std::fprintf(stderr, "skarvel: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    // Qt would abort, which reads as a crash.
    std::_Exit(EXIT_FAILURE);
}

void NoteStartMessages(bool noting)
{
    const std::lock_guard lock(Noted().mutex);
    Noted().noting = noting;
    Noted().lines.clear();
}

// The main window and the connect window are plain top-level widgets: a screen reader is to
// find them as frames, not as nameless panes.
QAccessibleInterface* AccessibleWindow(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (className == QLatin1String("QWidget") && widget && widget->isWindow())
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

// Qt's own texts (context menus, standard buttons) in German, as all of the program's: the copy
// built in, else the one of the Qt the program runs with.
void LoadQtGerman()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    for (const QString& folder : {QStringLiteral(":/translations"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)})
        if (translator->load(QStringLiteral("qtbase_de"), folder)) {
            QCoreApplication::installTranslator(translator);
            return;
        }
}

}  // namespace

void StartDesktop()
{
    SetSocketWaitFunction(WaitForSocket);
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
    qInstallMessageHandler(OnQtMessage);
    // Created once and kept for the life of the process, as Qt expects.
    NoteStartMessages(true);
    auto* application = new QApplication(argc, argv);
    NoteStartMessages(false);
    // Asked before the factory Qt installs with the application.
    QAccessible::installFactory(AccessibleWindow);
    application->setQuitOnLastWindowClosed(false);
    WatchInput(application);
    // Wayland shows no window icons: the desktop finds the entry, and its icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(SKARVEL_APP_ID));
    LoadQtGerman();
}

// --- the end ---------------------------------------------------------------------------------

void EndDesktop()
{
    Desktop& d = TheDesktop();
    for (auto& [number, timer] : d.timers)
        delete timer;
    d.timers.clear();
    d.controls.clear();
    d.tableWindow.reset();
    ForgetProgramActions();
    delete d.mainWindow;
    d.mainWindow = nullptr;
    d.connectWindow.reset();
    WindowEvents().Clear();
}
