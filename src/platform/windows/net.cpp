// Winsock behind the connection functions. A socket stays non-blocking from its connect on, so
// that every wait goes through select() with the caller's limit.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>

#include "platform/net.h"
#include "platform/socket_wait.h"
#include "platform/unsent_rests.h"
#include "platform/windows/socket_ready.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <string>

namespace {

bool Started = false;   // WSAStartup has succeeded and WSACleanup has not run since

UnsentRests Unsent;

SOCKET Handle(Socket socket)
{
    return static_cast<SOCKET>(socket.handle);
}

int Length(std::size_t size)
{
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

// Waits until `deadline` for the socket to be readable, or writable.
bool WaitFor(SOCKET handle, bool forWriting, SocketClock::time_point deadline)
{
    const SocketWaitKind kind = forWriting ? SocketWaitKind::Writable : SocketWaitKind::Readable;
    return WaitForSocket(Socket{static_cast<std::intptr_t>(handle)}, kind, deadline,
                         [&](std::chrono::milliseconds limit) { return SocketReady(handle, kind, limit); })
           > 0;
}

// Sends what it can of `bytes` before `deadline`; returns how many went out, or none on failure.
std::optional<std::size_t> SendUntil(SOCKET handle, std::string_view bytes, SocketClock::time_point deadline)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int sent = send(handle, bytes.data() + done, Length(bytes.size() - done), 0);
        if (sent > 0) {
            done += static_cast<std::size_t>(sent);
        } else if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            if (!WaitFor(handle, true, deadline))
                break;   // out of time, or failed: a failure shows in the next send
        } else {
            return std::nullopt;
        }
    }
    return done;
}

}  // namespace

bool InitNetworkService()
{
    WSADATA data;
    if (!Started)
        Started = WSAStartup(MAKEWORD(1, 1), &data) == 0;
    return Started;
}

void EndNetworkService()
{
    if (Started)
        WSACleanup();
    Started = false;
}

std::optional<std::uint32_t> ResolveIPv4(std::string_view host)
{
    const std::string name(host);
    const unsigned long dotted = inet_addr(name.c_str());
    if (dotted != INADDR_NONE || name == "255.255.255.255")
        return static_cast<std::uint32_t>(dotted);

    SettleBeforeBlocking();
    // An empty name would give this machine's own address.
    const hostent* found = name.empty() ? nullptr : gethostbyname(name.c_str());
    if (found == nullptr || found->h_addrtype != AF_INET || found->h_addr_list[0] == nullptr)
        return std::nullopt;
    std::uint32_t address = 0;
    std::memcpy(&address, found->h_addr_list[0], sizeof address);
    return address;
}

std::optional<Socket> ConnectTcp(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds limit)
{
    const SOCKET handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (handle == INVALID_SOCKET)
        return std::nullopt;
    // Not handed to programs started later, such as the browser.
    SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);

    u_long nonBlocking = 1;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    bool connected = ioctlsocket(handle, FIONBIO, &nonBlocking) == 0;
    if (connected && connect(handle, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        int error = 0;
        int length = sizeof error;
        connected = WSAGetLastError() == WSAEWOULDBLOCK && WaitFor(handle, true, SocketClock::now() + limit)
                    && getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0
                    && error == 0;
    }
    if (!connected) {
        closesocket(handle);
        return std::nullopt;
    }
    return Socket{static_cast<std::intptr_t>(handle)};
}

bool SendBytes(Socket socket, std::string_view bytes, std::chrono::milliseconds limit)
{
    const SocketClock::time_point deadline = SocketClock::now() + limit;
    return Unsent.Send(socket.handle, bytes,
                       [&](std::string_view part) { return SendUntil(Handle(socket), part, deadline); });
}

std::size_t ReceiveOnce(Socket socket, std::span<char> into, std::chrono::milliseconds limit)
{
    if (!WaitFor(Handle(socket), false, SocketClock::now() + limit))
        return 0;
    const int received = recv(Handle(socket), into.data(), Length(into.size()), 0);
    return received > 0 ? static_cast<std::size_t>(received) : 0;
}

void CloseSocket(Socket socket)
{
    Unsent.Forget(socket.handle);
    closesocket(Handle(socket));
}
