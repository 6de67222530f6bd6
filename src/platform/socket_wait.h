// What both socket layers share: the wait a window front end installs (SetSocketWaitFunction in
// net.h) and the loop that hands it a socket's waiting time. Private to the platform layer.
#pragma once

#include <chrono>

#include "platform/net.h"

using SocketClock = std::chrono::steady_clock;

// The time left until `deadline`, in whole milliseconds rounded up; never negative.
std::chrono::milliseconds TimeLeft(SocketClock::time_point deadline);

// The installed wait, or none.
SocketWaitFunction InstalledSocketWait();

// Before a call that blocks and cannot wait in pieces (a name lookup): the installed wait brings
// the windows up to date.
void SettleBeforeBlocking();

// Waits until `deadline` for the socket. `look(limit)` looks at it, waiting at most `limit`
// (zero: only looks), and gives what it found: 0 for nothing yet, anything else ends the wait.
// Where a wait is installed, the time goes to it and the socket is only looked at. Returns the
// last look's answer, 0 when the time ran out.
template <typename Look>
int WaitForSocket(Socket socket, SocketWaitKind kind, SocketClock::time_point deadline, Look look)
{
    for (;;) {
        const std::chrono::milliseconds left = TimeLeft(deadline);
        const SocketWaitFunction wait = InstalledSocketWait();
        const bool waitElsewhere = wait != nullptr && left > std::chrono::milliseconds::zero();
        if (const int found = look(waitElsewhere ? std::chrono::milliseconds::zero() : left); found != 0)
            return found;
        if (left <= std::chrono::milliseconds::zero())
            return 0;
        if (waitElsewhere)
            wait(socket, kind, left);
    }
}
