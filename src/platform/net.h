// One TCP client connection over the operating system's sockets. Plain functions, so that the
// program above never sees a socket header; every wait has a limit of the caller's choosing.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct Socket {
    std::intptr_t handle = -1;   // a POSIX descriptor or a Winsock SOCKET: both fit unchanged
};

// Prepares the process for sockets: Winsock 1.1 on Windows, which can fail; on POSIX systems it
// ignores SIGPIPE, so that a board that drops the connection can never end the program. Calling
// it again while prepared changes nothing.
bool InitNetworkService();

// Gives back what InitNetworkService took, at the end; nothing when it never succeeded.
void EndNetworkService();

// Dotted IPv4 text as it stands, otherwise the first IPv4 address the name resolves to.
std::optional<std::uint32_t> ResolveIPv4(std::string_view host);   // network byte order

// Connects to address:port, giving up after `limit`. The socket is closed on every failure.
std::optional<Socket> ConnectTcp(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds limit);

// Sends all the bytes, waiting at most `limit` in all for the socket to take them; false when the
// connection failed or the time ran out. A command fits the socket's buffer: it leaves in one send.
bool SendBytes(Socket socket, std::string_view bytes, std::chrono::milliseconds limit);

// Waits at most `limit` for the first byte, then receives once into `into`. Returns the number of
// bytes received; 0 on time-out, a closed connection or an error.
std::size_t ReceiveOnce(Socket socket, std::span<char> into, std::chrono::milliseconds limit);

void CloseSocket(Socket socket);
