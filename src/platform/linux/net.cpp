// POSIX sockets behind the connection functions.
#include "platform/net.h"
#include "platform/socket_wait.h"
#include "platform/unsent_rests.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace {

UnsentRests Unsent;

// poll() until `deadline`, resumed after signals. Returns the events that came, 0 on time-out,
// -1 on error.
int PollUntil(int handle, short events, SocketClock::time_point deadline)
{
    const SocketWaitKind kind = events & POLLIN ? SocketWaitKind::Readable : SocketWaitKind::Writable;
    return WaitForSocket(Socket{handle}, kind, deadline, [&](std::chrono::milliseconds limit) {
        pollfd entry{handle, events, 0};
        const int ready = poll(&entry, 1, static_cast<int>(limit.count()));
        if (ready > 0)
            return static_cast<int>(entry.revents);
        return ready < 0 && errno != EINTR ? -1 : 0;
    });
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
            const int ready = PollUntil(handle, POLLOUT, deadline);
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

}  // namespace

bool InitNetworkService()
{
    signal(SIGPIPE, SIG_IGN);
    return true;
}

void EndNetworkService() {}

std::optional<std::uint32_t> ResolveIPv4(std::string_view host)
{
    const std::string name(host);
    in_addr dotted{};
    if (inet_aton(name.c_str(), &dotted) != 0)
        return dotted.s_addr;

    SettleBeforeBlocking();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (name.empty() || getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return std::nullopt;
    const std::uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

std::optional<Socket> ConnectTcp(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds limit)
{
    const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        return std::nullopt;

    // Non-blocking only for the connect, so that it gives up after `limit`.
    const int flags = fcntl(handle, F_GETFL);
    fcntl(handle, F_SETFL, flags | O_NONBLOCK);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    int result = connect(handle, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    if (result != 0 && errno == EINPROGRESS && PollUntil(handle, POLLOUT, SocketClock::now() + limit) > 0) {
        int error = 0;
        socklen_t length = sizeof error;
        result = getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0 ? 0 : -1;
    }
    if (result != 0) {
        close(handle);
        return std::nullopt;
    }
    fcntl(handle, F_SETFL, flags);
    return Socket{handle};
}

bool SendBytes(Socket socket, std::string_view bytes, std::chrono::milliseconds limit)
{
    const int handle = static_cast<int>(socket.handle);
    const SocketClock::time_point deadline = SocketClock::now() + limit;
    return Unsent.Send(socket.handle, bytes, [&](std::string_view part) { return SendUntil(handle, part, deadline); });
}

std::size_t ReceiveOnce(Socket socket, std::span<char> into, std::chrono::milliseconds limit)
{
    const int handle = static_cast<int>(socket.handle);
    if (PollUntil(handle, POLLIN, SocketClock::now() + limit) <= 0)
        return 0;
    for (;;) {
        const ssize_t received = recv(handle, into.data(), into.size(), 0);
        if (received < 0 && errno == EINTR)
            continue;
        return received > 0 ? static_cast<std::size_t>(received) : 0;
    }
}

void CloseSocket(Socket socket)
{
    Unsent.Forget(socket.handle);
    close(static_cast<int>(socket.handle));
}
