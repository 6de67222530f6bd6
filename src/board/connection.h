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
#include <vector>

#include "platform/net.h"
#include "utils/timing.h"

inline constexpr std::size_t ReceiveBufferSize = 500;
inline constexpr std::size_t IdleReceiveSize = 100;
inline constexpr std::string_view IdleCommand = "x";         // keeps the board's connection alive
inline constexpr std::string_view CommandTerminator = "\r";  // ends every command on the wire

using SteadyTime = std::chrono::steady_clock::time_point;

// What the main window is still to be told of the link: lost, restored, and on a new connection
// the password sent again and taken, or refused.
enum class LinkEvent { None, Lost, Restored, PasswordResent, PasswordRejected };

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
    std::chrono::system_clock::time_point lostAt;   // on the wall clock, for the user
    // The board answered since the link was last made: a link lost before it did was not
    // reconnected, and its tries go on where they were instead of starting at once again.
    bool answered = true;
    int failedTries = 0;
    std::optional<SteadyTime> nextTry;       // none: to be decided at the next step
    SteadyTime stepStarted;                  // of the lookup or the connect under way
    std::optional<NameLookup> lookup;        // a try's lookup, while it runs
    // A lookup given up while its thread still runs: no other starts until it ends.
    std::optional<NameLookup> abandonedLookup;
    std::optional<Socket> pendingConnect;    // a try's connect, while it runs
    std::deque<LinkEvent> events;            // oldest first

    // The message the board answered K:1 (the password), kept in memory only: a board wants it
    // first on every connection, so it goes out before anything else on each new one.
    std::string password;
    bool passwordDue = false;
    // The board refused the password sent again: nothing goes out until the user sends.
    bool held = false;
    // Requests of the program's own whose wait ended without a reply, oldest first: their
    // replies, should they come after all, are dropped wherever they arrive.
    std::deque<std::string> unanswered;
    std::uint64_t messagesSent = 0;
    std::chrono::milliseconds typicalReply{0};   // how long the board takes to answer, smoothed
};

// At its start-up state as a BoardLink is made: no connection, a zero-filled buffer.
inline BoardLink Link;

// Dotted IPv4 host text as it stands, otherwise the name's first IPv4 address; the port's low
// 16 bits. The lookup and the connect each give up after Link.connectLimit, the windows painted
// meanwhile. None on any failure. The host and port are kept for the tries after a loss.
std::optional<Socket> OpenBoardConnection(std::string_view host, std::int32_t port);

// Who asks for an exchange: the user (a command sent from the main window) or the program (a
// poll). After the board refused the password, only the user's go out.
enum class Origin { User, Program };

// What became of a command: the board's cleaned reply (empty when the board stayed silent for
// Link.replyLimit), or nothing sent because the link is lost (or held), or the link lost during
// the exchange.
enum class ExchangeOutcome { Replied, NotSent, LinkLost };
struct Exchange {
    ExchangeOutcome outcome = ExchangeOutcome::Replied;
    std::string reply;
    std::string raw;   // what the receive brought, decoded, nothing cleaned
    // From the send to the reply's first byte; none when no reply came.
    std::optional<std::chrono::milliseconds> replyTime;
    // Replies to earlier requests of the program's that came after their wait: read and dropped.
    std::vector<std::string> late;
};

// Sends the command and CommandTerminator as one message, receives once into ReceiveBuffer and
// cleans the reply. Each step waits at most Link.replyLimit; a command that could not be sent in
// time waits for no reply. A late reply to one of the program's own requests is never taken for
// this command's: it is dropped, and the receive goes on for the rest of the wait. On a new
// connection the password goes out first. The board's K:1 to the user's message keeps that
// message as the password.
Exchange ExchangeCommand(std::string_view command, Origin origin = Origin::Program);

// The program's own read of the board (the overview's): like ExchangeCommand, but it takes only
// a reply that answers this request (its echo and a colon). A reply to an earlier request is
// dropped and the wait goes on; any other reply (an error, a board asking for its password) ends
// the wait as the board's answer, with `answered` false. A request whose wait ends without a
// reply is remembered, so that its reply, coming later, is dropped wherever it arrives.
struct RequestOutcome {
    Exchange exchange;
    bool answered = false;
};
RequestOutcome ExchangeRequest(std::string_view request);

// Every CR, LF and blank removed, wherever it stands.
std::string CleanReply(std::string_view bytes);

// Keeps the board's connection alive; whatever it answers is read and dropped. Each step waits
// at most Link.idleReplyLimit. Nothing is sent while the link is lost or held.
void SendIdleMessage();

// Messages sent to the board so far (commands, reads, the password, idle messages).
std::uint64_t MessagesSent();

// How long the board takes to answer, as the latest replies show (a silent board counts as the
// whole wait); zero before the first.
std::chrono::milliseconds TypicalReplyTime();

// Carries a lost link's tries on: begins one when it is due (the first at once, then after each
// of LinkTryDelays), checks the one under way, gives up a step that took longer than
// Link.connectLimit. Never waits. `now`: the clock the main window's timers run on.
void StepReconnect(SteadyTime now);

inline bool LinkIsUp()
{
    return Link.BoardConnection.has_value();
}

// The link stood and was lost, and is not back yet.
inline bool LinkLost()
{
    return Link.lost;
}

// While the link is lost: when it was lost (wall clock), and when the next try begins (the
// timers' clock; none while a try is under way).
std::chrono::system_clock::time_point LinkLostAt();
std::optional<SteadyTime> NextReconnectTry();

// The user asks to try at once rather than wait out the pause: a try begins now, unless one is
// under way or the link stands.
void ReconnectNow(SteadyTime now);

// The oldest event of the link not yet taken; None when there is none.
LinkEvent TakeLinkEvent();

// Closes the connection and gives up any try under way (at the end of the program).
void CloseBoardConnection();
