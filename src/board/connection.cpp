// Command exchange with the board, and reconnecting a link the board closed or reset.
#include "board/connection.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "board/codepage.h"

namespace {

// Replies of the program's own requests still awaited after their wait, at most: a board that
// never answers them must not make the list grow.
constexpr std::size_t UnansweredLimit = 8;

constexpr std::string_view PasswordAccepted = "K:1";
constexpr std::string_view PasswordRefused = "K:0";

std::uint16_t PortOnWire(std::int32_t port)
{
    return static_cast<std::uint16_t>(port & 0xFFFF);
}

// The connection is of no more use: it is closed, and reconnected in the background.
void MarkLost()
{
    CloseBoardConnection();
    Link.lost = true;
    Link.lostAt = std::chrono::system_clock::now();
    Link.nextTry.reset();
    Link.unanswered.clear();
    Link.events.push_back(LinkEvent::Lost);
}

void TryFailed(SteadyTime now)
{
    const auto last = static_cast<int>(std::size(LinkTryDelays)) - 1;
    Link.nextTry = now + LinkTryDelays[std::min(Link.failedTries, last)];
    ++Link.failedTries;
}

void Restore()
{
    Link.BoardConnection = Link.pendingConnect;
    Link.pendingConnect.reset();
    Link.lost = false;
    Link.answered = false;
    Link.passwordDue = !Link.password.empty();
    Link.events.push_back(LinkEvent::Restored);
}

// A reply that counts as the board answering: a refused password does not, so that a board that
// drops the connection after it is not reconnected to at once, over and over.
bool Answers(const Received& received, std::size_t from = 0)
{
    return received.outcome == SocketOutcome::Done
           && CleanReply(std::string_view(Link.ReceiveBuffer.data() + from, received.count)) != PasswordRefused;
}

void NoteReplyTime(std::chrono::milliseconds taken)
{
    Link.typicalReply = (3 * Link.typicalReply + taken) / 4;
}

SocketOutcome Send(std::string_view message)
{
    ++Link.messagesSent;
    return SendBytes(*Link.BoardConnection, Utf8ToWindows1252(message) + std::string(CommandTerminator),
                     Link.replyLimit);
}

// How many bytes at the start of `bytes` are a reply to one of the unanswered requests: up to its
// line end, or all that came of it so far. That request, and any older one, is no longer awaited.
std::size_t LateReplyLength(std::string_view bytes, std::vector<std::string>& late)
{
    for (auto request = Link.unanswered.begin(); request != Link.unanswered.end(); ++request) {
        const std::string echo = Utf8ToWindows1252(*request) + ":";
        if (!bytes.starts_with(echo))
            continue;
        const std::size_t end = bytes.find('\n');
        const std::size_t length = end == std::string_view::npos ? bytes.size() : end + 1;
        late.push_back(Windows1252ToUtf8(CleanReply(bytes.substr(0, length))));
        Link.unanswered.erase(Link.unanswered.begin(), request + 1);
        return length;
    }
    return 0;
}

// Receives a reply into ReceiveBuffer, once, unless what comes is only late replies to earlier
// requests: those are dropped, and the wait goes on until `deadline`. The bytes received count
// from the buffer's start.
Received ReceiveReply(std::chrono::steady_clock::time_point deadline, std::vector<std::string>& late)
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        Received received = ReceiveOnce(*Link.BoardConnection, Link.ReceiveBuffer,
                                        std::max(left, std::chrono::milliseconds::zero()));
        if (received.outcome != SocketOutcome::Done)
            return received;
        std::size_t dropped = 0;
        for (std::size_t length; (length = LateReplyLength(std::string_view(Link.ReceiveBuffer.data() + dropped,
                                                                             received.count - dropped),
                                                            late)) > 0;)
            dropped += length;
        if (dropped == 0)
            return received;
        // What followed the late replies is the reply; the blanks after it as before the receive.
        char* buffer = Link.ReceiveBuffer.data();
        std::memmove(buffer, buffer + dropped, received.count - dropped);
        std::fill(buffer + received.count - dropped, buffer + received.count, ' ');
        received.count -= dropped;
        if (received.count > 0)
            return received;
    }
}

// The receive's outcome as an exchange's: the reply cleaned, what came decoded, and its time.
Exchange Replied(const Received& received, std::chrono::steady_clock::time_point sending, std::vector<std::string> late)
{
    const std::string_view text(Link.ReceiveBuffer.data(), Link.ReceiveBuffer.size());
    const std::string_view arrived = text.substr(0, received.count);
    std::optional<std::chrono::milliseconds> replyTime;
    if (received.outcome == SocketOutcome::Done) {
        replyTime = std::chrono::round<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sending);
        NoteReplyTime(*replyTime);
    } else {
        NoteReplyTime(Link.replyLimit);
    }
    return {ExchangeOutcome::Replied, Windows1252ToUtf8(CleanReply(text.substr(0, text.find('\0')))),
            Windows1252ToUtf8(arrived.substr(0, arrived.find('\0'))), replyTime, std::move(late)};
}

// The password, first on a new connection. Refused, it is forgotten and the link held.
void SendPassword()
{
    Link.passwordDue = false;
    Link.ReceiveBuffer.fill(' ');
    SocketOutcome outcome = Send(Link.password);
    Received received{0, outcome};
    if (outcome == SocketOutcome::Done)
        received = ReceiveOnce(*Link.BoardConnection, Link.ReceiveBuffer, Link.replyLimit);
    if (received.outcome == SocketOutcome::Lost) {
        MarkLost();
        return;
    }
    if (CleanReply(std::string_view(Link.ReceiveBuffer.data(), received.count)) == PasswordRefused) {
        Link.password.clear();
        Link.held = true;
        Link.events.push_back(LinkEvent::PasswordRejected);
        return;
    }
    Link.answered = Link.answered || Answers(received);
    Link.events.push_back(LinkEvent::PasswordResent);
}

// Whether a message of `origin` may go out now; sends the password first where it is due.
bool MayGoOut(Origin origin)
{
    if (Link.BoardConnection && Link.passwordDue)
        SendPassword();
    if (!Link.BoardConnection)
        return false;
    if (Link.held && origin == Origin::Program)
        return false;
    Link.held = false;
    return true;
}

// Sends the message and receives its reply; the receive's outcome, the link marked lost.
Received SendAndReceive(std::string_view message, std::chrono::steady_clock::time_point& sending, std::vector<std::string>& late)
{
    // The blank fill is what makes a short reply leave no trace of an earlier one.
    Link.ReceiveBuffer.fill(' ');
    sending = std::chrono::steady_clock::now();
    // A command that did not go out in time has no reply to wait for; one still on its way gets
    // its reply read by a later exchange, like any late reply.
    const SocketOutcome sent = Send(message);
    Received received{0, sent};
    if (sent == SocketOutcome::Done)
        received = ReceiveReply(sending + Link.replyLimit, late);
    Link.answered = Link.answered || Answers(received);
    if (received.outcome == SocketOutcome::Lost)
        MarkLost();
    return received;
}

}  // namespace

std::optional<Socket> OpenBoardConnection(std::string_view host, std::int32_t port)
{
    Link.host = host;
    Link.port = port;
    const NameLookup lookup(Utf8ToWindows1252(host));
    if (!lookup.Wait(Link.connectLimit))
        return std::nullopt;
    const std::optional<std::uint32_t> address = lookup.Address();
    if (!address)
        return std::nullopt;
    return ConnectTcp(*address, PortOnWire(port), Link.connectLimit);
}

std::string CleanReply(std::string_view bytes)
{
    std::string reply;
    reply.reserve(bytes.size());
    for (char c : bytes)
        if (c != '\r' && c != '\n' && c != ' ')
            reply += c;
    return reply;
}

Exchange ExchangeCommand(std::string_view command, Origin origin)
{
    const bool lostBefore = !Link.BoardConnection;
    if (!MayGoOut(origin)) {
        Link.ReceiveBuffer.fill(' ');
        return {lostBefore || Link.BoardConnection ? ExchangeOutcome::NotSent : ExchangeOutcome::LinkLost, {}, {},
                std::nullopt, {}};
    }
    std::chrono::steady_clock::time_point sending;
    std::vector<std::string> late;
    const Received received = SendAndReceive(command, sending, late);
    if (received.outcome == SocketOutcome::Lost)
        return {ExchangeOutcome::LinkLost, {}, {}, std::nullopt, std::move(late)};
    Exchange exchange = Replied(received, sending, std::move(late));
    if (origin == Origin::User && exchange.reply == PasswordAccepted)
        Link.password = command;
    return exchange;
}

RequestOutcome ExchangeRequest(std::string_view request)
{
    RequestOutcome outcome{ExchangeCommand(request, Origin::Program), false};
    const Exchange& exchange = outcome.exchange;
    if (exchange.outcome != ExchangeOutcome::Replied)
        return outcome;
    if (!exchange.replyTime) {
        Link.unanswered.emplace_back(request);
        if (Link.unanswered.size() > UnansweredLimit)
            Link.unanswered.pop_front();
        return outcome;
    }
    outcome.answered = exchange.raw.starts_with(std::string(request) + ":");
    return outcome;
}

void SendIdleMessage()
{
    if (!MayGoOut(Origin::Program))
        return;
    Received received{0, Send(IdleCommand)};
    if (received.outcome == SocketOutcome::Done)
        received = ReceiveOnce(*Link.BoardConnection, std::span(Link.ReceiveBuffer).first(IdleReceiveSize),
                               Link.idleReplyLimit);
    Link.answered = Link.answered || Answers(received);
    if (received.outcome == SocketOutcome::Lost)
        MarkLost();
}

std::uint64_t MessagesSent()
{
    return Link.messagesSent;
}

std::chrono::milliseconds TypicalReplyTime()
{
    return Link.typicalReply;
}

void StepReconnect(SteadyTime now)
{
    if (!Link.lost)
        return;
    // Each step may end at once (a dotted address, a refused or a loopback connect): the next one
    // is taken in the same turn.
    for (;;) {
        if (Link.pendingConnect) {
            const ConnectProgress progress = CheckConnect(*Link.pendingConnect);
            if (progress == ConnectProgress::Connected) {
                Restore();
            } else if (progress == ConnectProgress::Failed || now - Link.stepStarted >= Link.connectLimit) {
                CloseSocket(*Link.pendingConnect);
                Link.pendingConnect.reset();
                TryFailed(now);
            }
            return;
        }
        if (Link.lookup) {
            if (!Link.lookup->Done()) {
                if (now - Link.stepStarted >= Link.connectLimit) {
                    Link.abandonedLookup = std::move(Link.lookup);
                    Link.lookup.reset();
                    TryFailed(now);
                }
                return;
            }
            const std::optional<std::uint32_t> address = Link.lookup->Address();
            Link.lookup.reset();
            if (address)
                Link.pendingConnect = StartConnect(*address, PortOnWire(Link.port));
            if (!Link.pendingConnect) {
                TryFailed(now);
                return;
            }
            Link.stepStarted = now;
            continue;
        }
        if (!Link.nextTry) {
            // Lost again before the board answered: the pauses go on growing, so that a board
            // that takes connections only to drop them is not hammered.
            if (Link.answered) {
                Link.failedTries = 0;
                Link.nextTry = now;
            } else {
                TryFailed(now);
            }
        }
        if (now < *Link.nextTry)
            return;
        // A name server that hangs holds one lookup's thread, never more: the try fails instead.
        if (Link.abandonedLookup && !Link.abandonedLookup->Done()) {
            TryFailed(now);
            return;
        }
        Link.abandonedLookup.reset();
        Link.lookup.emplace(Utf8ToWindows1252(Link.host));
        Link.stepStarted = now;
    }
}

std::chrono::system_clock::time_point LinkLostAt()
{
    return Link.lostAt;
}

std::optional<SteadyTime> NextReconnectTry()
{
    if (!Link.lost || Link.lookup || Link.pendingConnect)
        return std::nullopt;
    return Link.nextTry;
}

void ReconnectNow(SteadyTime now)
{
    if (!Link.lost || Link.lookup || Link.pendingConnect)
        return;
    Link.nextTry = now;
    StepReconnect(now);
}

LinkEvent TakeLinkEvent()
{
    if (Link.events.empty())
        return LinkEvent::None;
    const LinkEvent event = Link.events.front();
    Link.events.pop_front();
    return event;
}

void CloseBoardConnection()
{
    if (Link.BoardConnection)
        CloseSocket(*Link.BoardConnection);
    Link.BoardConnection.reset();
    if (Link.pendingConnect)
        CloseSocket(*Link.pendingConnect);
    Link.pendingConnect.reset();
    Link.lookup.reset();
}
