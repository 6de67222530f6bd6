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

// Dotted IPv4 text as it stands, otherwise the first IPv4 address the name resolves to (a
// lookup that blocks, after a Settle turn of the installed wait).
std::optional<std::uint32_t> ResolveIPv4(std::string_view host);   // network byte order

// Connects to address:port, giving up after `limit`. The socket is closed on every failure.
std::optional<Socket> ConnectTcp(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds limit);

// Sends all of `bytes`, waiting at most `limit` in all for room in the connection; false on
// failure or time-out. A board that stops reading fills the connection: when the time runs out
// part-way, the unsent rest is kept and goes out first on the next send to the same socket, so
// that one message never runs into the next on the board's side.
bool SendBytes(Socket socket, std::string_view bytes, std::chrono::milliseconds limit);

// Waits at most `limit` for the first byte, then receives once into `into`. Returns the number of
// bytes received; 0 on time-out, a closed connection or an error.
std::size_t ReceiveOnce(Socket socket, std::span<char> into, std::chrono::milliseconds limit);

void CloseSocket(Socket socket);

// What a socket wait waits for. Settle: for no socket; the caller is about to block where it
// cannot wait in pieces (a name lookup), so the windows are brought up to date first.
enum class SocketWaitKind { Readable, Writable, Settle };

// Every wait above spends its time in this function when one is installed, else asleep in the
// operating system. A window front end installs one so that its windows stay painted while the
// program waits for the board (see StartDesktop in window.h). It returns once `socket` may be
// ready or `limit` has passed; the caller then looks for itself, and calls again if time is left.
using SocketWaitFunction = void (*)(Socket socket, SocketWaitKind kind, std::chrono::milliseconds limit);

// Installs `wait`; nullptr puts back the plain wait.
void SetSocketWaitFunction(SocketWaitFunction wait);
