// One check of a Winsock socket, shared by the socket layer and the window's socket wait.
// Private to the Win32 front end.
#pragma once

#include <winsock2.h>

#include <chrono>

#include "platform/net.h"

// Waits at most `limit` (zero: only checks) until the socket can be read, or written. A failed
// connect shows only in the exception set on Windows, so a check for writing watches that set
// too. 1: ready; 0: not yet; -1: the socket has failed (which the caller then finds).
inline int SocketReady(SOCKET handle, SocketWaitKind kind, std::chrono::milliseconds limit)
{
    const bool writing = kind == SocketWaitKind::Writable;
    fd_set wanted;
    fd_set failed;
    FD_ZERO(&wanted);
    FD_ZERO(&failed);
    FD_SET(handle, &wanted);
    FD_SET(handle, &failed);
    timeval wait{static_cast<long>(limit.count() / 1000), static_cast<long>(limit.count() % 1000 * 1000)};
    const int ready = select(0, writing ? nullptr : &wanted, writing ? &wanted : nullptr, writing ? &failed : nullptr,
                             &wait);
    if (ready < 0 || (writing && FD_ISSET(handle, &failed)))
        return -1;
    return ready > 0 && FD_ISSET(handle, &wanted) ? 1 : 0;
}
