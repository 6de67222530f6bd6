// POSIX sockets behind the connection functions.
#include "platform/net.h"
#include "platform/shared/sockets.h"
#include "platform/shared/unsent_remainders.h"
#include "utils/timing.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace {

UnsentRemainders Unsent;

int Handle(Socket socket)
{
    return static_cast<int>(socket.handle);
}

// Sends what it can of `bytes` before `deadline`; returns how many went out, or none on failure.
std::optional<std::size_t> SendUntil(int handle, std::string_view bytes, SocketClock::time_point deadline)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = send(handle, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            done += static_cast<std::size_t>(sent);
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // An error shows in the next send.
            const int ready = WaitUntil(Socket{handle}, SocketWaitKind::Writable, deadline);
            if (ready == 0)
                break;
            if (ready < 0)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return done;
}

// A board whose power is cut is given up within UnacknowledgedLimit, sending or idle; one that
// only does not answer still acknowledges, and stays. Options the system lacks are passed over.
void NoticeSilentDeath(int handle)
{
    const int on = 1;
    const int idle = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(KeepAliveIdle).count());
    const int interval = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(KeepAliveInterval).count());
    const int probes = static_cast<int>((UnacknowledgedLimit - KeepAliveIdle) / KeepAliveInterval);
    const unsigned limit = static_cast<unsigned>(UnacknowledgedLimit.count());
    setsockopt(handle, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(handle, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(handle, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(handle, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    setsockopt(handle, IPPROTO_TCP, TCP_USER_TIMEOUT, &limit, sizeof limit);
}

}  // namespace

int CheckSocket(Socket socket, SocketWaitKind kind, std::chrono::milliseconds limit)
{
    pollfd entry{Handle(socket), static_cast<short>(kind == SocketWaitKind::Readable ? POLLIN : POLLOUT), 0};
    const int ready = poll(&entry, 1, static_cast<int>(limit.count()));
    if (ready > 0)
        return 1;
    // Resumed after a signal by the caller's next check.
    return ready < 0 && errno != EINTR ? -1 : 0;
}

bool InitNetworkService()
{
    signal(SIGPIPE, SIG_IGN);
    return true;
}

void EndNetworkService() {}

std::optional<std::uint32_t> DottedIPv4(const std::string& host)
{
    in_addr dotted{};
    if (inet_aton(host.c_str(), &dotted) == 0)
        return std::nullopt;
    return dotted.s_addr;
}

std::optional<std::uint32_t> ResolveName(const std::string& name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return std::nullopt;
    const std::uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

std::optional<Socket> StartConnect(std::uint32_t address, std::uint16_t port)
{
    const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (handle < 0)
        return std::nullopt;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    if (connect(handle, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 && errno != EINPROGRESS) {
        close(handle);
        return std::nullopt;
    }
    return Socket{handle};
}

ConnectProgress CheckConnect(Socket socket)
{
    const int handle = Handle(socket);
    const int ready = CheckSocket(socket, SocketWaitKind::Writable, std::chrono::milliseconds::zero());
    if (ready == 0)
        return ConnectProgress::Pending;
    int error = 0;
    socklen_t length = sizeof error;
    if (ready < 0 || getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        return ConnectProgress::Failed;
    // Non-blocking only for the connect: every later wait is a poll with the caller's limit.
    fcntl(handle, F_SETFL, fcntl(handle, F_GETFL) & ~O_NONBLOCK);
    NoticeSilentDeath(handle);
    return ConnectProgress::Connected;
}

SocketOutcome SendBytes(Socket socket, std::string_view bytes, std::chrono::milliseconds limit)
{
    const int handle = Handle(socket);
    const SocketClock::time_point deadline = SocketClock::now() + limit;
    return Unsent.Send(socket.handle, bytes, [&](std::string_view part) { return SendUntil(handle, part, deadline); });
}

Received ReceiveOnce(Socket socket, std::span<char> into, std::chrono::milliseconds limit)
{
    const int ready = WaitUntil(socket, SocketWaitKind::Readable, SocketClock::now() + limit);
    if (ready == 0)
        return {};
    for (;;) {
        const ssize_t received = recv(Handle(socket), into.data(), into.size(), MSG_DONTWAIT);
        if (received > 0)
            return {static_cast<std::size_t>(received), SocketOutcome::Done};
        if (received < 0 && errno == EINTR)
            continue;
        // Readable, yet nothing there after all: the board is only slow.
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return {};
        // 0: the board closed the connection; anything else: it was reset or failed.
        return {0, SocketOutcome::Lost};
    }
}

void CloseSocket(Socket socket)
{
    Unsent.Forget(socket.handle);
    close(Handle(socket));
}
