// What both socket layers share (net.h): the installed wait and the loop that hands it a socket's
// waiting time, connecting with a limit, and the name lookup's thread; over the few steps each
// system takes its own way, which both net.cpp answer. Private to the platform layer.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net.h"

using SocketClock = std::chrono::steady_clock;

// --- each system's own (linux/net.cpp, windows/net.cpp) --------------------------------------

// Checks the socket, waiting at most `limit` (zero: only checks): 1 ready to be read (or
// written), 0 not yet, -1 failed (which the caller then finds).
int CheckSocket(Socket socket, SocketWaitKind kind, std::chrono::milliseconds limit);

// The address dotted IPv4 text stands for; none for anything else.
std::optional<std::uint32_t> DottedIPv4(const std::string& host);
// The first IPv4 address of a name, as the system's resolver finds it: blocks, for as long as
// the resolver takes. Safe on any thread.
std::optional<std::uint32_t> ResolveName(const std::string& name);

// --- shared (sockets.cpp) --------------------------------------------------------------------

// The time left until `deadline`, in whole milliseconds rounded up; never negative.
std::chrono::milliseconds TimeLeft(SocketClock::time_point deadline);

// Waits until `deadline` for the socket; where a wait is installed, the time goes to it and the
// socket is only looked at. CheckSocket's last answer: 0 when the time ran out.
int WaitUntil(Socket socket, SocketWaitKind kind, SocketClock::time_point deadline);
