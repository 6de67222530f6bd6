// The installed socket wait.
#include "platform/socket_wait.h"

#include <algorithm>

#include "utils/timing.h"

namespace {
SocketWaitFunction Installed = nullptr;
}  // namespace

void SetSocketWaitFunction(SocketWaitFunction wait)
{
    Installed = wait;
}

SocketWaitFunction InstalledSocketWait()
{
    return Installed;
}

std::chrono::milliseconds TimeLeft(SocketClock::time_point deadline)
{
    return std::max(std::chrono::milliseconds::zero(),
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - SocketClock::now()));
}

void SettleBeforeBlocking()
{
    if (Installed != nullptr)
        Installed(Socket{}, SocketWaitKind::Settle, SettleLimit);
}
