// The socket layer's shared part: the installed wait, connecting with a limit, looking a name up.
#include "platform/shared/sockets.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

#include "utils/timing.h"

namespace {
SocketWaitFunction Installed = nullptr;
}  // namespace

void SetSocketWaitFunction(SocketWaitFunction wait)
{
    Installed = wait;
}

std::chrono::milliseconds TimeLeft(SocketClock::time_point deadline)
{
    return std::max(std::chrono::milliseconds::zero(),
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - SocketClock::now()));
}

int WaitUntil(Socket socket, SocketWaitKind kind, SocketClock::time_point deadline)
{
    for (;;) {
        const std::chrono::milliseconds left = TimeLeft(deadline);
        const SocketWaitFunction wait = Installed;
        const bool waitElsewhere = wait != nullptr && left > std::chrono::milliseconds::zero();
        if (const int found = CheckSocket(socket, kind, waitElsewhere ? std::chrono::milliseconds::zero() : left);
            found != 0)
            return found;
        if (left <= std::chrono::milliseconds::zero())
            return 0;
        if (waitElsewhere)
            wait(socket, kind, left);
    }
}

std::optional<Socket> ConnectTcp(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds limit)
{
    const std::optional<Socket> socket = StartConnect(address, port);
    if (!socket)
        return std::nullopt;
    const SocketClock::time_point deadline = SocketClock::now() + limit;
    for (;;) {
        switch (CheckConnect(*socket)) {
        case ConnectProgress::Connected:
            return socket;
        case ConnectProgress::Pending:
            if (WaitUntil(*socket, SocketWaitKind::Writable, deadline) != 0)
                continue;
            [[fallthrough]];
        case ConnectProgress::Failed:
            CloseSocket(*socket);
            return std::nullopt;
        }
    }
}

// --- the name lookup -------------------------------------------------------------------------

// What the lookup's thread and its owner share; the thread keeps it alive for as long as it runs,
// so that the owner may drop the lookup before the thread ends.
struct NameLookup::Shared {
    std::atomic<bool> done = false;
    std::mutex mutex;
    std::optional<std::uint32_t> address;
};

NameLookup::NameLookup(std::string_view host) : shared_(std::make_shared<Shared>())
{
    std::string name(host);
    if (const std::optional<std::uint32_t> dotted = DottedIPv4(name); dotted || name.empty()) {
        // An empty name would give this machine's own address.
        shared_->address = dotted;
        shared_->done = true;
        return;
    }
    try {
        std::thread([shared = shared_, name = std::move(name)] {
            const std::optional<std::uint32_t> address = ResolveName(name);
            const std::lock_guard lock(shared->mutex);
            shared->address = address;
            shared->done = true;
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had (the process at its limit): a lookup that found nothing.
        shared_->done = true;
    }
}

bool NameLookup::Done() const
{
    return shared_->done;
}

std::optional<std::uint32_t> NameLookup::Address() const
{
    const std::lock_guard lock(shared_->mutex);
    return shared_->address;
}

bool NameLookup::Wait(std::chrono::milliseconds limit) const
{
    const SocketClock::time_point deadline = SocketClock::now() + limit;
    while (!Done()) {
        const std::chrono::milliseconds left = TimeLeft(deadline);
        if (left <= std::chrono::milliseconds::zero())
            return false;
        const std::chrono::milliseconds slice = std::min(left, LookupCheckInterval);
        if (Installed != nullptr)
            Installed(Socket{}, SocketWaitKind::Pause, slice);
        else
            std::this_thread::sleep_for(slice);
    }
    return true;
}
