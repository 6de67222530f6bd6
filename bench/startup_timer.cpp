// The stopwatch of bench/startup.sh: starts a program and prints how many ms passed from the start
// until a top-level window of the given title was mapped (viewable on the X screen), and how much
// CPU time the program had used by then (which other work on the machine moves less); then ends
// the program. A plain X client of its own, so that nothing of Qt's start-up is in its figure.
//   startup_timer TITLE PROGRAM [ARGUMENTS...]
#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto MapLimit = 10s;

template <typename Reply>
using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t Atom(xcb_connection_t* x, const char* name)
{
    const Owned<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::string Title(xcb_connection_t* x, xcb_window_t window, xcb_atom_t netWmName, xcb_atom_t utf8)
{
    const xcb_atom_t wmName = XCB_ATOM_WM_NAME, latin1 = XCB_ATOM_STRING;
    for (const auto& [property, type] : {std::pair{netWmName, utf8}, std::pair{wmName, latin1}}) {
        const Owned<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(x, xcb_get_property(x, 0, window, property, type, 0, 256), nullptr), &std::free);
        if (reply && xcb_get_property_value_length(reply.get()) > 0)
            return {static_cast<const char*>(xcb_get_property_value(reply.get())),
                    static_cast<std::size_t>(xcb_get_property_value_length(reply.get()))};
    }
    return {};
}

bool Viewable(xcb_connection_t* x, xcb_window_t window)
{
    const Owned<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, window), nullptr), &std::free);
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

// CPU ms the process has used so far, all its threads, from the scheduler's ns counts.
double CpuMs(pid_t process)
{
    double ns = 0;
    std::error_code ignored;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(process) + "/task", ignored)) {
        double run = 0;
        if (std::ifstream(task.path() / "schedstat") >> run)
            ns += run;
    }
    return ns / 1e6;
}

void EndChild(pid_t child)
{
    for (const int signal : {SIGTERM, SIGKILL}) {
        ::kill(child, signal);
        for (int tries = 0; tries < 300; ++tries) {
            int status = 0;
            if (::waitpid(child, &status, WNOHANG) != 0)
                return;
            std::this_thread::sleep_for(10ms);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_timer TITLE PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    const std::string wanted = argv[1];
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "startup_timer: no X display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const xcb_atom_t netWmName = Atom(x, "_NET_WM_NAME"), utf8 = Atom(x, "UTF8_STRING");
    // New top-level windows and the window manager's frames show up as the root's children.
    const std::uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &rootEvents);
    xcb_flush(x);
    ::signal(SIGPIPE, SIG_IGN);

    const Clock::time_point started = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(xcb_get_file_descriptor(x));
        ::execvp(argv[2], argv + 2);
        ::_exit(127);
    }
    if (child < 0)
        return 1;

    // The program's own windows, watched for their own map as well (a window manager maps the
    // client inside its frame, which the root does not see).
    std::vector<xcb_window_t> windows;
    double mappedMs = -1, cpuMs = 0;
    pollfd ready{xcb_get_file_descriptor(x), POLLIN, 0};
    while (mappedMs < 0 && Clock::now() - started < MapLimit) {
        xcb_generic_event_t* event = xcb_poll_for_event(x);
        if (event == nullptr) {
            if (xcb_connection_has_error(x))
                break;
            ::poll(&ready, 1, 20);
            continue;
        }
        const Clock::time_point at = Clock::now();
        switch (event->response_type & 0x7f) {
        case XCB_CREATE_NOTIFY: {
            const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event);
            if (created->parent == root) {
                const std::uint32_t own = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                xcb_change_window_attributes(x, created->window, XCB_CW_EVENT_MASK, &own);
                windows.push_back(created->window);
                xcb_flush(x);
            }
            break;
        }
        case XCB_MAP_NOTIFY:
            for (const xcb_window_t window : windows)
                if (Title(x, window, netWmName, utf8) == wanted && Viewable(x, window)) {
                    mappedMs = std::chrono::duration<double, std::milli>(at - started).count();
                    cpuMs = CpuMs(child);
                    break;
                }
            break;
        default:
            break;
        }
        std::free(event);
    }
    EndChild(child);
    xcb_disconnect(x);
    if (mappedMs < 0) {
        std::fprintf(stderr, "startup_timer: no window '%s' mapped within %lld s\n", wanted.c_str(),
                     static_cast<long long>(MapLimit.count()));
        return 1;
    }
    std::printf("%.2f %.2f\n", mappedMs, cpuMs);
    return 0;
}
