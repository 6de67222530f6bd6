// How long the window goes unpainted, and leaves the window manager's ping unanswered, while it
// waits for a silent board, idle (the idle message only) and polling: with the plain socket wait
// (as before the front end took the waits over) and with the front end's wait. Under X (e.g. xvfb-run) it pings the window
// every 20 ms as a window manager does, and moves the pointer over it, which must wait.
//   wait_bench [seconds per run, default 10]
#include <QAbstractButton>
#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "globals.h"
#include "app/startup.h"
#include "utils/timing.h"
#include "board/connection.h"
#include "netio_sim.h"
#include "platform/net.h"
#include "platform/linux/qt_access.h"
#include "ui/event_loop.h"
#include "ui/main_window.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Records when the window paints; the longest stretch without a paint is the figure.
class PaintWatch : public QObject {
public:
    std::vector<Clock::time_point> paints;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            paints.push_back(Clock::now());
        return QObject::eventFilter(watched, event);
    }
};

// A second X client that pings the window as a window manager does (_NET_WM_PING, answered by
// the client to the root window) and sends it pointer motion, every 20 ms.
class PingProbe {
public:
    bool Start(xcb_window_t window)
    {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_))
            return false;
        window_ = window;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        protocols_ = Atom("WM_PROTOCOLS");
        ping_ = Atom("_NET_WM_PING");
        // Answers go to the root window for whoever selected structure events on it.
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
        thread_ = std::thread([this] { Run(); });
        return true;
    }

    // Longest time a ping waited for its answer (or is waiting still), and the counts.
    struct Result {
        double longestMs = 0;
        int sent = 0, answered = 0;
    };

    Result Measure(const std::function<void()>& during)
    {
        {
            const std::lock_guard lock(mutex_);
            result_ = {};
            outstanding_.clear();
            measuring_ = true;
        }
        during();
        const std::lock_guard lock(mutex_);
        measuring_ = false;
        for (const auto& [serial, at] : outstanding_)
            result_.longestMs = std::max(result_.longestMs, Ms(Clock::now() - at));
        return result_;
    }

    ~PingProbe()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (connection_)
            xcb_disconnect(connection_);
    }

private:
    xcb_atom_t Atom(const char* name)
    {
        auto* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return atom;
    }

    void Run()
    {
        std::uint32_t serial = 0;
        for (auto next = Clock::now(); !stop_;) {
            if (Clock::now() >= next) {
                next += 20ms;
                xcb_client_message_event_t ping{};
                ping.response_type = XCB_CLIENT_MESSAGE;
                ping.format = 32;
                ping.window = window_;
                ping.type = protocols_;
                ping.data.data32[0] = ping_;
                ping.data.data32[1] = ++serial;
                ping.data.data32[2] = window_;
                xcb_send_event(connection_, 0, window_, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ping));
                xcb_motion_notify_event_t motion{};
                motion.response_type = XCB_MOTION_NOTIFY;
                motion.root = root_;
                motion.event = window_;
                motion.event_x = static_cast<std::int16_t>(100 + serial % 50);
                motion.event_y = 150;
                motion.same_screen = 1;
                xcb_send_event(connection_, 0, window_, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&motion));
                xcb_flush(connection_);
                const std::lock_guard lock(mutex_);
                if (measuring_) {
                    outstanding_[serial] = Clock::now();
                    ++result_.sent;
                }
            }
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if ((event->response_type & 0x7F) == XCB_CLIENT_MESSAGE && message->type == protocols_
                    && message->data.data32[0] == ping_ && message->data.data32[2] == window_) {
                    const std::lock_guard lock(mutex_);
                    if (const auto found = outstanding_.find(message->data.data32[1]); found != outstanding_.end()) {
                        result_.longestMs = std::max(result_.longestMs, Ms(Clock::now() - found->second));
                        ++result_.answered;
                        outstanding_.erase(found);
                    }
                }
                std::free(event);
            }
            std::this_thread::sleep_for(2ms);
        }
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = 0, root_ = 0;
    xcb_atom_t protocols_ = 0, ping_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_ = false;
    std::mutex mutex_;
    bool measuring_ = false;
    std::map<std::uint32_t, Clock::time_point> outstanding_;
    Result result_;
};

double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

struct Figures {
    double unpaintedMs = 0;
    PingProbe::Result ping;
    double cpuMsPerSecond = 0;
};

// `length` of the program's loop against the silent board, with or without a polling run.
Figures Run(std::chrono::seconds length, bool polling, PaintWatch& watch, PingProbe* probe)
{
    // A run under way already, so no prompt comes.
    static_cast<QAbstractButton*>(ControlWidget(PollingToggle))->setChecked(polling);
    G.polling = polling ? PollingState::Running : PollingState::Off;
    Figures figures;
    const auto run = [&] {
        watch.paints.clear();
        const double cpuAtStart = CpuMs();
        const auto started = Clock::now();
        while (Clock::now() - started < length)
            HandleEvent(WaitWindowEvent(EventWaitLimit));
        figures.cpuMsPerSecond = (CpuMs() - cpuAtStart) / static_cast<double>(length.count());
        Clock::time_point previous = started;
        for (const Clock::time_point paint : watch.paints)
            figures.unpaintedMs = std::max(figures.unpaintedMs, Ms(paint - std::exchange(previous, paint)));
        figures.unpaintedMs = std::max(figures.unpaintedMs, Ms(Clock::now() - previous));
    };
    if (probe)
        figures.ping = probe->Measure(run);
    else
        run();
    return figures;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::chrono::seconds length{argc > 1 ? std::atoi(argv[1]) : 10};
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    netio::Simulator board({.port = 0, .neverReply = true});
    if (!board.Start())
        return 1;
    SetInitialValues();
    StartDesktop();
    Link.BoardConnection = OpenBoardConnection("127.0.0.1", board.Port());
    if (!Link.BoardConnection || !BuildMainWindow())
        return 1;
    StartTimer(IdleTimer, IdleInterval);
    StartTimer(PollTimer, PollInterval);
    G.PollCommand.assign(1, 'C');

    PaintWatch watch;
    MainWindowWidget()->installEventFilter(&watch);
    QTimer repaint;   // something on screen changes all the time, as when another window moves over it
    QObject::connect(&repaint, &QTimer::timeout, [] { MainWindowWidget()->update(); });
    repaint.start(10);

    std::unique_ptr<PingProbe> probe;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        probe = std::make_unique<PingProbe>();
        if (!probe->Start(static_cast<xcb_window_t>(MainWindowWidget()->winId())))
            probe.reset();
    }

    // Plain wait and front end's wait, idle and polling.
    Figures figures[2][2];
    for (const bool polling : {false, true}) {
        SetSocketWaitFunction(nullptr);
        figures[polling][0] = Run(length, polling, watch, probe.get());
        StartDesktop();   // puts the front end's wait back
        figures[polling][1] = Run(length, polling, watch, probe.get());
    }

    std::printf("a silent board, %lld s per run, platform %s\n", static_cast<long long>(length.count()),
                qPrintable(QGuiApplication::platformName()));
    std::printf("%-32s %23s %23s\n", "", "idle", "polling");
    std::printf("%-32s %11s %11s %11s %11s\n", "", "plain wait", "front end", "plain wait", "front end");
    const auto row = [&](const char* name, const char* format, auto value) {
        std::printf("%-32s", name);
        for (const bool polling : {false, true})
            for (const Figures& f : figures[polling])
                std::printf(format, value(f));
        std::printf("\n");
    };
    row("longest unpainted stretch (ms)", " %11.0f", [](const Figures& f) { return f.unpaintedMs; });
    if (probe) {
        row("longest unanswered ping (ms)", " %11.0f", [](const Figures& f) { return f.ping.longestMs; });
        row("pings answered (%)", " %11.0f", [](const Figures& f) {
            return f.ping.sent ? 100.0 * f.ping.answered / f.ping.sent : 0.0;
        });
    }
    // The window repaints every 10 ms whenever it can, so painting through the waits costs CPU.
    row("process CPU per second (ms)", " %11.1f", [](const Figures& f) { return f.cpuMsPerSecond; });
    CloseBoardConnection();
    EndDesktop();
    return 0;
}
