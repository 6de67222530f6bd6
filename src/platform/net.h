// One TCP client connection over the operating system's sockets. Plain functions, so that the
// program above never sees a socket header; every wait has a limit of the caller's choosing, and
// what never waits says so.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
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

// A host's IPv4 address looked up without waiting for it: dotted IPv4 text at once, a name on a
// short-lived thread of its own that does nothing but the lookup. The lookup may be dropped at
// any moment; one that never ends costs only its thread. A thread that cannot be started is a
// lookup that found nothing.
class NameLookup {
public:
    explicit NameLookup(std::string_view host);   // the host's bytes, as the system takes them

    bool Done() const;
    // Once done: the first IPv4 address (network byte order); none when the name has none.
    std::optional<std::uint32_t> Address() const;
    // Waits at most `limit` until done, through the installed wait (the windows stay painted);
    // whether it is done.
    bool Wait(std::chrono::milliseconds limit) const;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

// A connect that never waits: StartConnect begins it (none when it failed at once), CheckConnect
// checks how it stands. A socket that failed is the caller's to close.
enum class ConnectProgress { Pending, Connected, Failed };
std::optional<Socket> StartConnect(std::uint32_t address, std::uint16_t port);
ConnectProgress CheckConnect(Socket socket);

// Connects to address:port, giving up after `limit`. The socket is closed on every failure.
std::optional<Socket> ConnectTcp(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds limit);

// How a send or a receive ended. A board that merely does not answer in time leaves the
// connection standing; one that closed it, or reset it, or a send that failed for any reason but
// its time limit, leaves it of no more use.
enum class SocketOutcome { Done, TimedOut, Lost };

// Sends all of `bytes`, waiting at most `limit` in all for room in the connection. A board that
// stops reading fills the connection: when the time runs out part-way, the unsent remainder is kept
// and goes out first on the next send to the same socket, so that one message never runs into
// the next on the board's side.
SocketOutcome SendBytes(Socket socket, std::string_view bytes, std::chrono::milliseconds limit);

// Waits at most `limit` for the first byte, then receives once into `into`.
struct Received {
    std::size_t count = 0;   // bytes received, when Done
    SocketOutcome outcome = SocketOutcome::TimedOut;
};
Received ReceiveOnce(Socket socket, std::span<char> into, std::chrono::milliseconds limit);

void CloseSocket(Socket socket);

// What a socket wait waits for. Pause: for no socket, only for the time to pass (a name lookup
// being waited for), the windows kept painted meanwhile.
enum class SocketWaitKind { Readable, Writable, Pause };

// Every wait above spends its time in this function when one is installed, else asleep in the
// operating system. A window front end installs one so that its windows stay painted while the
// program waits for the board (see StartDesktop in window.h). It returns once `socket` may be
// ready or `limit` has passed; the caller then checks for itself, and calls again if time is left.
using SocketWaitFunction = void (*)(Socket socket, SocketWaitKind kind, std::chrono::milliseconds limit);

// Installs `wait`; nullptr puts back the plain wait.
void SetSocketWaitFunction(SocketWaitFunction wait);
