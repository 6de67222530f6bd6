// Command exchange with the board, and reconnecting a link the board closed or reset.
#include "board/connection.h"

#include <algorithm>
#include <span>

#include "board/codepage.h"

namespace {

std::uint16_t PortOnWire(std::int32_t port)
{
    return static_cast<std::uint16_t>(port & 0xFFFF);
}

// The connection is of no more use: it is closed, and reconnected in the background.
void MarkLost()
{
    CloseBoardConnection();
    Link.lost = true;
    Link.nextTry.reset();
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
    Link.events.push_back(LinkEvent::Restored);
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

Exchange ExchangeCommand(std::string_view command)
{
    // The blank fill is what makes a short reply leave no trace of an earlier one.
    Link.ReceiveBuffer.fill(' ');
    if (!Link.BoardConnection)
        return {ExchangeOutcome::NotSent, {}, {}, std::nullopt};
    // A command that did not go out in time has no reply to wait for; one still on its way gets
    // its reply read by a later exchange, like any late reply.
    const auto sending = std::chrono::steady_clock::now();
    const SocketOutcome sent =
        SendBytes(*Link.BoardConnection, Utf8ToWindows1252(command) + std::string(CommandTerminator), Link.replyLimit);
    Received received{0, sent};
    if (sent == SocketOutcome::Done)
        received = ReceiveOnce(*Link.BoardConnection, Link.ReceiveBuffer, Link.replyLimit);
    Link.answered = Link.answered || received.outcome == SocketOutcome::Done;
    if (received.outcome == SocketOutcome::Lost) {
        MarkLost();
        return {ExchangeOutcome::LinkLost, {}, {}, std::nullopt};
    }
    const std::string_view text(Link.ReceiveBuffer.data(), Link.ReceiveBuffer.size());
    const std::string_view arrived = text.substr(0, received.count);
    std::optional<std::chrono::milliseconds> replyTime;
    if (received.outcome == SocketOutcome::Done)
        replyTime = std::chrono::round<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sending);
    return {ExchangeOutcome::Replied, Windows1252ToUtf8(CleanReply(text.substr(0, text.find('\0')))),
            Windows1252ToUtf8(arrived.substr(0, arrived.find('\0'))), replyTime};
}

void SendIdleMessage()
{
    if (!Link.BoardConnection)
        return;
    SocketOutcome outcome = SendBytes(*Link.BoardConnection, std::string(IdleCommand) + std::string(CommandTerminator), Link.idleReplyLimit);
    if (outcome == SocketOutcome::Done)
        outcome = ReceiveOnce(*Link.BoardConnection, std::span(Link.ReceiveBuffer).first(IdleReceiveSize),
                              Link.idleReplyLimit)
                      .outcome;
    Link.answered = Link.answered || outcome == SocketOutcome::Done;
    if (outcome == SocketOutcome::Lost)
        MarkLost();
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
        Link.lookup.emplace(Utf8ToWindows1252(Link.host));
        Link.stepStarted = now;
    }
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
