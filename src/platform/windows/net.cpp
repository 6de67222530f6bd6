// Winsock behind the connection functions. A socket stays non-blocking from its connect on, so
// that every wait goes through select() with the caller's limit.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <mstcpip.h>

#include "platform/net.h"
#include "platform/shared/sockets.h"
#include "platform/shared/unsent_remainders.h"
#include "platform/windows/socket_ready.h"
#include "utils/timing.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <string>

namespace {

bool Started = false;   // WSAStartup has succeeded and WSACleanup has not run since

UnsentRemainders Unsent;

SOCKET Handle(Socket socket)
{
    return static_cast<SOCKET>(socket.handle);
}

int Length(std::size_t size)
{
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

// Sends what it can of `bytes` before `deadline`; returns how many went out, or none on failure.
std::optional<std::size_t> SendUntil(Socket socket, std::string_view bytes, SocketClock::time_point deadline)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int sent = send(Handle(socket), bytes.data() + done, Length(bytes.size() - done), 0);
        if (sent > 0) {
            done += static_cast<std::size_t>(sent);
        } else if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            // Out of time, or failed: a failure shows in the next send.
            if (WaitUntil(socket, SocketWaitKind::Writable, deadline) <= 0)
                break;
        } else {
            return std::nullopt;
        }
    }
    return done;
}

// A board whose power is cut is given up within UnacknowledgedLimit, sending or idle; one that
// only does not answer still acknowledges, and stays. Options the system lacks are passed over.
void NoticeSilentDeath(SOCKET handle)
{
    // ws2ipdef.h's, which MinGW's headers lack: the seconds a send may go unacknowledged.
    constexpr int MaxRetransmissionTime = 5;   // TCP_MAXRT
    const DWORD seconds = static_cast<DWORD>(std::chrono::duration_cast<std::chrono::seconds>(UnacknowledgedLimit).count());
    setsockopt(handle, IPPROTO_TCP, MaxRetransmissionTime, reinterpret_cast<const char*>(&seconds), sizeof seconds);
    tcp_keepalive keepAlive{1, static_cast<ULONG>(KeepAliveIdle.count()), static_cast<ULONG>(KeepAliveInterval.count())};
    DWORD returned = 0;
    WSAIoctl(handle, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned, nullptr, nullptr);
}

}  // namespace

int CheckSocket(Socket socket, SocketWaitKind kind, std::chrono::milliseconds limit)
{
    return SocketReady(Handle(socket), kind, limit);
}

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

std::optional<std::uint32_t> DottedIPv4(const std::string& host)
{
    const unsigned long dotted = inet_addr(host.c_str());
    if (dotted == INADDR_NONE && host != "255.255.255.255")
        return std::nullopt;
    return static_cast<std::uint32_t>(dotted);
}

std::optional<std::uint32_t> ResolveName(const std::string& name)
{
    // Winsock keeps what gethostbyname gives per thread.
    const hostent* found = gethostbyname(name.c_str());
    if (found == nullptr || found->h_addrtype != AF_INET || found->h_addr_list[0] == nullptr)
        return std::nullopt;
    std::uint32_t address = 0;
    std::memcpy(&address, found->h_addr_list[0], sizeof address);
    return address;
}

std::optional<Socket> StartConnect(std::uint32_t address, std::uint16_t port)
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
    if (ioctlsocket(handle, FIONBIO, &nonBlocking) != 0
        || (connect(handle, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0
            && WSAGetLastError() != WSAEWOULDBLOCK)) {
        closesocket(handle);
        return std::nullopt;
    }
    return Socket{static_cast<std::intptr_t>(handle)};
}

ConnectProgress CheckConnect(Socket socket)
{
    const int ready = SocketReady(Handle(socket), SocketWaitKind::Writable, std::chrono::milliseconds::zero());
    if (ready == 0)
        return ConnectProgress::Pending;
    int error = 0;
    int length = sizeof error;
    if (ready < 0 || getsockopt(Handle(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0
        || error != 0)
        return ConnectProgress::Failed;
    NoticeSilentDeath(Handle(socket));
    return ConnectProgress::Connected;
}

SocketOutcome SendBytes(Socket socket, std::string_view bytes, std::chrono::milliseconds limit)
{
    const SocketClock::time_point deadline = SocketClock::now() + limit;
    return Unsent.Send(socket.handle, bytes, [&](std::string_view part) { return SendUntil(socket, part, deadline); });
}

Received ReceiveOnce(Socket socket, std::span<char> into, std::chrono::milliseconds limit)
{
    if (WaitUntil(socket, SocketWaitKind::Readable, SocketClock::now() + limit) == 0)
        return {};
    const int received = recv(Handle(socket), into.data(), Length(into.size()), 0);
    if (received > 0)
        return {static_cast<std::size_t>(received), SocketOutcome::Done};
    // Readable, yet nothing there after all: the board is only slow.
    if (received == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK)
        return {};
    // 0: the board closed the connection; anything else: it was reset or failed.
    return {0, SocketOutcome::Lost};
}

void CloseSocket(Socket socket)
{
    Unsent.Forget(socket.handle);
    closesocket(Handle(socket));
}
