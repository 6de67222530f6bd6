// What both socket layers keep for a board that stops reading: the part of a message that ran out
// of time goes out first on the next send to the same socket, so that one message never runs
// into the next on the board's side. Private to the platform layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net.h"

class UnsentRemainders {
public:
    // Sends the remainder kept for the socket, if any, then `bytes`, through `sendUntil` (bytes ->
    // how many went out before the deadline, or none on failure). Done when all of both went out.
    template <typename SendUntil>
    SocketOutcome Send(std::intptr_t socket, std::string_view bytes, SendUntil sendUntil)
    {
        if (const auto remainder = remainders_.find(socket); remainder != remainders_.end()) {
            const std::optional<std::size_t> sent = sendUntil(std::string_view(remainder->second));
            if (!sent)
                return SocketOutcome::Lost;
            remainder->second.erase(0, *sent);
            if (!remainder->second.empty())
                return SocketOutcome::TimedOut;
            remainders_.erase(remainder);
        }
        const std::optional<std::size_t> sent = sendUntil(bytes);
        if (!sent)
            return SocketOutcome::Lost;
        if (*sent > 0 && *sent < bytes.size())
            remainders_[socket] = bytes.substr(*sent);
        return *sent == bytes.size() ? SocketOutcome::Done : SocketOutcome::TimedOut;
    }

    // The socket is closed: what it kept goes nowhere.
    void Forget(std::intptr_t socket) { remainders_.erase(socket); }

private:
    std::map<std::intptr_t, std::string> remainders_;
};
