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

class UnsentRests {
public:
    // Sends the rest kept for the socket, if any, then `bytes`, through `sendUntil` (bytes ->
    // how many went out before the deadline, or none on failure). Done when all of both went out.
    template <typename SendUntil>
    SocketOutcome Send(std::intptr_t socket, std::string_view bytes, SendUntil sendUntil)
    {
        if (const auto rest = rests_.find(socket); rest != rests_.end()) {
            const std::optional<std::size_t> sent = sendUntil(std::string_view(rest->second));
            if (!sent)
                return SocketOutcome::Lost;
            rest->second.erase(0, *sent);
            if (!rest->second.empty())
                return SocketOutcome::TimedOut;
            rests_.erase(rest);
        }
        const std::optional<std::size_t> sent = sendUntil(bytes);
        if (!sent)
            return SocketOutcome::Lost;
        if (*sent > 0 && *sent < bytes.size())
            rests_[socket] = bytes.substr(*sent);
        return *sent == bytes.size() ? SocketOutcome::Done : SocketOutcome::TimedOut;
    }

    // The socket is closed: what it kept goes nowhere.
    void Forget(std::intptr_t socket) { rests_.erase(socket); }

private:
    std::map<std::intptr_t, std::string> rests_;
};
