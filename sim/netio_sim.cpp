// The simulator's network side. One background thread serves every connection with poll(), so a
// delayed or split reply never holds up another connection, and Stop() only has to wake it.
#include "netio_sim.h"

#include "sim_board.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace netio {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t ReadSize = 4096;
// Out of file descriptors, accept() fails at once for as long as the listener is ready: rather
// than spin, the listener rests this long.
constexpr std::chrono::milliseconds AcceptPause = 100ms;
constexpr std::string_view IdleMessage = "x";
// HangingListener: a filler connect still pending after this long means its SYN was dropped.
constexpr std::chrono::milliseconds FillerConnectWait = 100ms;
constexpr int MaxFillers = 4;

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int NewSocket()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd >= 0) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return fd;
}

// Binds a new non-blocking socket to 127.0.0.1:port and listens; returns it and the actual port.
std::pair<int, std::uint16_t> ListenOnLoopback(std::uint16_t port, int backlog)
{
    const int fd = NewSocket();
    if (fd < 0)
        return {-1, 0};
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = Loopback(port);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(fd, backlog) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        close(fd);
        return {-1, 0};
    }
    return {fd, ntohs(address.sin_port)};
}

struct PendingReply {
    Clock::time_point due;
    std::string bytes;
    bool split;   // still to be sent in two parts
};

struct Connection {
    int fd = -1;
    std::string partial;         // a command not yet ended by 13
    bool afterCr = false;        // a 10 arriving now belongs to the last 13 and is skipped
    bool authenticated = false;
    int commandCount = 0;
    // No more commands (drop-after reached, or the client ended its side): close once the
    // replies are out.
    bool closing = false;
    bool closed = false;
    std::deque<PendingReply> pending;   // sent strictly in order, each no sooner than due
    std::string out;             // taken from `pending`, not yet accepted by the socket
    std::size_t unsent = 0;      // bytes in `pending` and `out`
};

}  // namespace

struct Simulator::Impl {
    explicit Impl(SimOptions o) : options(std::move(o)) {}

    void Serve();
    bool Accept();
    void Read(Connection& connection);
    void HandleCommand(Connection& connection, std::string text, Clock::time_point at);
    std::optional<std::string> ReplyTo(Connection& connection, std::string_view text);
    void SendDue(Connection& connection);
    void Close(Connection& connection);
    // Runs `request` on the server thread (at once when it does not run) and returns once done.
    void OnServer(std::function<void()> request);
    // Written before the matching count changes, so that a test that waited for it finds the line.
    void Log(std::string_view event, std::string_view detail = {});

    const SimOptions options;
    sim::Board board;   // shared by all connections, like the real board's outputs
    std::mutex boardMutex;   // the web page reads and switches the board from threads of its own
    int listenFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::uint16_t port = 0;
    Clock::time_point started;
    std::FILE* record = nullptr;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::list<Connection> connections;   // server thread only
    Clock::time_point acceptPausedUntil;  // server thread only
    std::unique_ptr<HangingListener> hanging;   // while away and hanging; server thread only

    // What the test thread reads while the server runs.
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<ReceivedChunk> chunks;       // under keepHistory only
    std::vector<ReceivedCommand> commands;   // under keepHistory only
    std::size_t commandCount = 0;
    int accepted = 0;
    int closedCount = 0;
    std::function<void()> request;           // for the server thread; done once emptied
};

void Simulator::Impl::Serve()
{
    std::vector<pollfd> fds;
    while (!stopping) {
        const bool acceptPaused = Clock::now() < acceptPausedUntil;
        fds.assign({{wakeRead, POLLIN, 0}, {acceptPaused ? -1 : listenFd, POLLIN, 0}});
        std::optional<Clock::time_point> next;
        if (acceptPaused)
            next = acceptPausedUntil;
        for (const Connection& connection : connections) {
            // A client that sends without reading its replies is read no further until it does.
            short events = connection.closing || connection.unsent > MaxUnsentReplyBytes ? 0 : POLLIN;
            if (!connection.out.empty())
                events |= POLLOUT;
            else if (!connection.pending.empty())
                next = std::min(next.value_or(Clock::time_point::max()), connection.pending.front().due);
            // Left out while nothing is wanted of it: a hung-up socket would wake poll at once.
            fds.push_back({events != 0 ? connection.fd : -1, events, 0});
        }
        int timeout = -1;
        if (next)
            timeout = static_cast<int>(std::max<std::int64_t>(
                0, std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now()).count()));
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            break;
        if (fds[0].revents != 0) {
            char wake[16];
            if (read(wakeRead, wake, sizeof wake) <= 0 || stopping)
                break;
            std::function<void()> asked;
            {
                const std::lock_guard lock(mutex);
                asked = request;
            }
            if (asked)
                asked();
            {
                const std::lock_guard lock(mutex);
                request = nullptr;
            }
            changed.notify_all();
            continue;
        }

        auto fd = fds.begin() + 2;
        for (Connection& connection : connections) {
            if ((fd++)->revents & (POLLIN | POLLHUP | POLLERR))
                Read(connection);
            if (!connection.closed)
                SendDue(connection);
            if (!connection.closed && connection.closing && connection.pending.empty() && connection.out.empty())
                Close(connection);
        }
        connections.remove_if([](const Connection& connection) { return connection.closed; });
        // Every waiting client at once, so that a burst is not taken one per wake-up.
        if (fds[1].revents & POLLIN)
            while (Accept()) {
            }
    }
}

// Takes one waiting connection; false when there is none, or none can be taken for now.
bool Simulator::Impl::Accept()
{
    const int fd = accept(listenFd, nullptr, nullptr);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            acceptPausedUntil = Clock::now() + AcceptPause;
        return errno == EINTR || errno == ECONNABORTED;
    }
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    // Each send leaves at once, so that the halves of a split reply are separate segments.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    Connection& connection = connections.emplace_back();
    connection.fd = fd;
    connection.authenticated = options.password.empty();
    Log("connect");
    {
        const std::lock_guard lock(mutex);
        ++accepted;
    }
    changed.notify_all();
    return true;
}

void Simulator::Impl::Read(Connection& connection)
{
    char buffer[ReadSize];
    const ssize_t size = recv(connection.fd, buffer, sizeof buffer, 0);
    if (size < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (size < 0) {
        Close(connection);
        return;
    }
    if (size == 0) {
        // The client has ended its side (or gone): the replies it is due still go out first.
        connection.closing = true;
        return;
    }
    const Clock::time_point at = Clock::now();
    const std::string_view bytes(buffer, static_cast<std::size_t>(size));
    Log("recv", EscapeBytes(bytes));
    if (options.keepHistory) {
        const std::lock_guard lock(mutex);
        chunks.push_back({at, std::string(bytes)});
    }

    for (const char byte : bytes) {
        if (connection.closing)
            break;
        if (std::exchange(connection.afterCr, false) && byte == '\n')
            continue;
        if (byte == '\r') {
            connection.afterCr = true;
            HandleCommand(connection, std::exchange(connection.partial, {}), at);
        } else if (connection.partial.size() < MaxCommandSize) {
            connection.partial += byte;
        }
    }
}

void Simulator::Impl::HandleCommand(Connection& connection, std::string text, Clock::time_point at)
{
    Log("cmd", EscapeBytes(text));
    // The command runs (a T still toggles) even when the reply is then withheld.
    std::optional<std::string> reply = ReplyTo(connection, text);
    if (reply && !options.neverReply) {
        const auto delay = options.replyDelay + (text == IdleMessage ? options.lateIdle : 0ms);
        connection.unsent += reply->size();
        connection.pending.push_back({at + delay, std::move(*reply), options.splitPause.has_value()});
    }
    if (options.dropAfter > 0 && ++connection.commandCount >= options.dropAfter)
        connection.closing = true;
    if (!options.dropAt.empty() && text == options.dropAt) {
        connection.closing = true;
        connection.pending.clear();
        connection.out.clear();
        connection.unsent = 0;
    }
    {
        const std::lock_guard lock(mutex);
        ++commandCount;
        if (options.keepHistory)
            commands.push_back({at, std::move(text)});
    }
    changed.notify_all();
}

std::optional<std::string> Simulator::Impl::ReplyTo(Connection& connection, std::string_view text)
{
    sim::Reply reply;
    if (!connection.authenticated) {
        // Until the password is right, every message counts as a try, whatever its letter. The
        // password comes as the whole message, as the reference's example sends it, or after K.
        connection.authenticated = text == options.password || (text.starts_with('K') && text.substr(1) == options.password);
        reply = {"K", connection.authenticated ? "1" : "0"};
    } else if (text.starts_with('K')) {
        return std::nullopt;
    } else {
        const std::lock_guard lock(boardMutex);
        reply = board.Answer(text, std::chrono::system_clock::now());
    }
    if (options.longReplies && reply.data.size() < LongReplyDataSize)
        reply.data.resize(LongReplyDataSize, LongReplyFiller);
    return reply.echo + ":" + reply.data + "\r\n";
}

void Simulator::Impl::SendDue(Connection& connection)
{
    for (;;) {
        if (!connection.out.empty()) {
            const ssize_t sent = send(connection.fd, connection.out.data(), connection.out.size(), MSG_NOSIGNAL);
            if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                Close(connection);
                return;
            }
            if (sent > 0) {
                connection.out.erase(0, static_cast<std::size_t>(sent));
                connection.unsent -= static_cast<std::size_t>(sent);
            }
            if (!connection.out.empty())
                return;   // the rest when poll reports room
        }
        const Clock::time_point now = Clock::now();
        if (connection.pending.empty() || connection.pending.front().due > now)
            return;
        PendingReply& reply = connection.pending.front();
        if (reply.split && options.splitPause && reply.bytes.size() > 1) {
            const std::size_t half = reply.bytes.size() / 2;
            connection.out = reply.bytes.substr(0, half);
            reply.bytes.erase(0, half);
            reply.split = false;
            reply.due = now + *options.splitPause;
        } else {
            connection.out = std::move(reply.bytes);
            connection.pending.pop_front();
        }
    }
}

void Simulator::Impl::Close(Connection& connection)
{
    if (connection.closed)
        return;
    close(connection.fd);
    connection.closed = true;
    Log("close");
    {
        const std::lock_guard lock(mutex);
        ++closedCount;
    }
    changed.notify_all();
}

void Simulator::Impl::OnServer(std::function<void()> asked)
{
    if (!thread.joinable()) {
        asked();
        return;
    }
    std::unique_lock lock(mutex);
    request = std::move(asked);
    lock.unlock();
    if (write(wakeWrite, "r", 1) < 0) {
        // One byte in an empty pipe: only a server already gone fails it, and then no one waits.
    }
    lock.lock();
    // Bounded, as every wait of a test: the server thread answers within one turn of its loop.
    changed.wait_for(lock, 10s, [this] { return !request; });
}

void Simulator::Impl::Log(std::string_view event, std::string_view detail)
{
    if (record == nullptr)
        return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
    std::fprintf(record, "%lld %.*s%s%.*s\n", static_cast<long long>(ms), static_cast<int>(event.size()),
                 event.data(), detail.empty() ? "" : " ", static_cast<int>(detail.size()), detail.data());
    std::fflush(record);
}

Simulator::Simulator(SimOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Simulator::~Simulator()
{
    Stop();
}

bool Simulator::Start()
{
    Impl& s = *impl_;
    if (s.thread.joinable())
        return false;
    int wake[2];
    std::tie(s.listenFd, s.port) = ListenOnLoopback(s.options.port, SOMAXCONN);
    if (s.listenFd < 0 || pipe(wake) != 0) {
        Stop();
        return false;
    }
    s.wakeRead = wake[0];
    s.wakeWrite = wake[1];
    if (!s.options.recordFile.empty() && (s.record = std::fopen(s.options.recordFile.c_str(), "w")) == nullptr) {
        Stop();
        return false;
    }
    s.started = Clock::now();
    s.stopping = false;
    s.thread = std::thread([&s] { s.Serve(); });
    return true;
}

void Simulator::Stop()
{
    Impl& s = *impl_;
    if (s.thread.joinable()) {
        s.stopping = true;
        if (write(s.wakeWrite, "!", 1) < 0) {
            // The pipe cannot be full with one byte in it; poll's time-outs end the loop anyway.
        }
        s.thread.join();
    }
    // Connections still open at the end were neither closed by the client nor dropped: not counted.
    for (const Connection& connection : s.connections)
        close(connection.fd);
    s.connections.clear();
    for (int* fd : {&s.listenFd, &s.wakeRead, &s.wakeWrite})
        if (*fd >= 0)
            close(std::exchange(*fd, -1));
    if (s.record != nullptr)
        std::fclose(std::exchange(s.record, nullptr));
}

std::uint16_t Simulator::Port() const
{
    return impl_->port;
}

void Simulator::GoAway(Away how)
{
    Impl& s = *impl_;
    s.OnServer([&s, how] {
        for (Connection& connection : s.connections)
            s.Close(connection);
        s.connections.clear();
        if (s.listenFd >= 0)
            close(std::exchange(s.listenFd, -1));
        if (how == Away::Hanging) {
            s.hanging = std::make_unique<HangingListener>();
            s.hanging->Start(s.port);
        }
    });
}

void Simulator::ComeBack()
{
    Impl& s = *impl_;
    s.OnServer([&s] {
        s.hanging.reset();
        if (s.listenFd < 0)
            s.listenFd = ListenOnLoopback(s.port, SOMAXCONN).first;
    });
}

std::vector<ReceivedChunk> Simulator::Received() const
{
    const std::lock_guard lock(impl_->mutex);
    return impl_->chunks;
}

std::vector<ReceivedCommand> Simulator::Commands() const
{
    const std::lock_guard lock(impl_->mutex);
    return impl_->commands;
}

std::size_t Simulator::CountCommands(std::string_view text) const
{
    const std::lock_guard lock(impl_->mutex);
    return static_cast<std::size_t>(std::count_if(impl_->commands.begin(), impl_->commands.end(),
                                                  [&](const ReceivedCommand& command) { return command.text == text; }));
}

int Simulator::Connections() const
{
    const std::lock_guard lock(impl_->mutex);
    return impl_->accepted;
}

int Simulator::ClosedConnections() const
{
    const std::lock_guard lock(impl_->mutex);
    return impl_->closedCount;
}

void Simulator::WithBoard(const std::function<void(sim::Board&)>& use)
{
    const std::lock_guard lock(impl_->boardMutex);
    use(impl_->board);
}

bool Simulator::WaitForCommands(std::size_t count, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, limit, [&] { return impl_->commandCount >= count; });
}

bool Simulator::WaitForClosed(int count, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, limit, [&] { return impl_->closedCount >= count; });
}

struct HangingListener::Impl {
    int fd = -1;
    std::vector<int> fillers;
    std::uint16_t port = 0;
};

HangingListener::HangingListener() : impl_(std::make_unique<Impl>()) {}

HangingListener::~HangingListener()
{
    for (const int filler : impl_->fillers)
        close(filler);
    if (impl_->fd >= 0)
        close(impl_->fd);
}

bool HangingListener::Start(std::uint16_t port)
{
    Impl& s = *impl_;
    if (s.fd >= 0)
        return false;
    // Backlog 0 lets a single connection wait in the accept queue; with it full, Linux drops
    // further SYNs, and the connecting side keeps retrying until it gives up by itself.
    std::tie(s.fd, s.port) = ListenOnLoopback(port, 0);
    if (s.fd < 0)
        return false;
    const sockaddr_in address = Loopback(s.port);
    for (int i = 0; i < MaxFillers; ++i) {
        const int filler = NewSocket();
        if (filler < 0)
            return false;
        s.fillers.push_back(filler);
        if (connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            continue;
        if (errno != EINPROGRESS)
            return false;
        pollfd pending{filler, POLLOUT, 0};
        if (poll(&pending, 1, static_cast<int>(FillerConnectWait.count())) == 0)
            return true;   // this one hangs, so the queue is full
    }
    return false;
}

std::uint16_t HangingListener::Port() const
{
    return impl_->port;
}

std::string EscapeBytes(std::string_view bytes)
{
    std::string escaped;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code >= 0x21 && code <= 0x7E && byte != '\\') {
            escaped += byte;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", code);
            escaped += hex;
        }
    }
    return escaped;
}

}  // namespace netio
