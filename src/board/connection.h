// The one link to the board: a TCP connection, one command and one reply at a time. A link the
// board closed or reset is noticed, tried again in the background without ever waiting, and the
// main window is told when it was lost and when it is back. The link keeps its own state here,
// from start-up to the end of the program.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net.h"
#include "utils/timing.h"

inline constexpr std::size_t ReceiveBufferSize = 500;
inline constexpr std::size_t IdleReceiveSize = 100;
inline constexpr std::string_view IdleCommand = "x";         // keeps the board's connection alive
inline constexpr std::string_view CommandTerminator = "\r";  // ends every command on the wire

using SteadyTime = std::chrono::steady_clock::time_point;

// What the main window is still to be told of the link.
enum class LinkEvent { None, Lost, Restored };

struct BoardLink {
    std::optional<Socket> BoardConnection;                 // the one connection to the board
    std::array<char, ReceiveBufferSize> ReceiveBuffer{};   // wire bytes of the latest reply
    // Waits of the connection; tests may shorten them.
    std::chrono::milliseconds connectLimit = ConnectTimeLimit;
    std::chrono::milliseconds replyLimit = ReplyWaitLimit;
    std::chrono::milliseconds idleReplyLimit = IdleReplyWaitLimit;

    // Where the link goes, kept from its opening for the tries after a loss.
    std::string host;
    std::int32_t port = 0;
    // A lost link and the tries to reconnect (StepReconnect).
    bool lost = false;
    // The board answered since the link was last made: a link lost before it did was not
    // reconnected, and its tries go on where they were instead of starting at once again.
    bool answered = true;
    int failedTries = 0;
    std::optional<SteadyTime> nextTry;       // none: to be decided at the next step
    SteadyTime stepStarted;                  // of the lookup or the connect under way
    std::optional<NameLookup> lookup;        // a try's lookup, while it runs
    std::optional<Socket> pendingConnect;    // a try's connect, while it runs
    std::deque<LinkEvent> events;            // oldest first
};

// At its start-up state as a BoardLink is made: no connection, a zero-filled buffer.
inline BoardLink Link;

// Dotted IPv4 host text as it stands, otherwise the name's first IPv4 address; the port's low
// 16 bits. The lookup and the connect each give up after Link.connectLimit, the windows painted
// meanwhile. None on any failure. The host and port are kept for the tries after a loss.
std::optional<Socket> OpenBoardConnection(std::string_view host, std::int32_t port);

// What became of a command: the board's cleaned reply (empty when the board stayed silent for
// Link.replyLimit), or nothing sent because the link is lost, or the link lost during the
// exchange.
enum class ExchangeOutcome { Replied, NotSent, LinkLost };
struct Exchange {
    ExchangeOutcome outcome = ExchangeOutcome::Replied;
    std::string reply;
    std::string raw;   // what the receive brought, decoded, nothing cleaned
    // From the send to the reply's first byte; none when no reply came.
    std::optional<std::chrono::milliseconds> replyTime;
};

// Sends the command and CommandTerminator as one message, receives once into ReceiveBuffer and
// cleans the reply. Each step waits at most Link.replyLimit; a command that could not be sent in
// time waits for no reply.
Exchange ExchangeCommand(std::string_view command);

// Every CR, LF and blank removed, wherever it stands.
std::string CleanReply(std::string_view bytes);

// Keeps the board's connection alive; whatever it answers is read and dropped. Each step waits
// at most Link.idleReplyLimit. Nothing is sent while the link is lost.
void SendIdleMessage();

// Carries a lost link's tries on: begins one when it is due (the first at once, then after each
// of LinkTryDelays), checks the one under way, gives up a step that took longer than
// Link.connectLimit. Never waits. `now`: the clock the main window's timers run on.
void StepReconnect(SteadyTime now);

inline bool LinkIsUp()
{
    return Link.BoardConnection.has_value();
}

// The oldest event of the link not yet taken; None when there is none.
LinkEvent TakeLinkEvent();

// Closes the connection and gives up any try under way (at the end of the program).
void CloseBoardConnection();
