// Command exchange with the board, and mending a link the board closed or reset.
#include "board/connection.h"

#include <algorithm>
#include <span>

#include "board/codepage.h"

namespace {

std::uint16_t PortOnWire(std::int32_t port)
{
    return static_cast<std::uint16_t>(port & 0xFFFF);
}

// The connection is of no more use: it is closed, and mended in the background.
void MarkLost()
{
    CloseBoardConnection();
    Link.Lost = true;
    Link.NextTry.reset();
    Link.News.push_back(LinkNews::Lost);
}

void TryFailed(SteadyTime now)
{
    const auto last = static_cast<int>(std::size(LinkTryDelays)) - 1;
    Link.NextTry = now + LinkTryDelays[std::min(Link.FailedTries, last)];
    ++Link.FailedTries;
}

void Restore()
{
    Link.BoardConnection = Link.Connecting;
    Link.Connecting.reset();
    Link.Lost = false;
    Link.Answered = false;
    Link.News.push_back(LinkNews::Restored);
}

}  // namespace

std::optional<Socket> OpenBoardConnection(std::string_view host, std::int32_t port)
{
    Link.Host = host;
    Link.Port = port;
    const NameLookup lookup(Utf8ToWindows1252(host));
    if (!lookup.Wait(Link.ConnectLimit))
        return std::nullopt;
    const std::optional<std::uint32_t> address = lookup.Address();
    if (!address)
        return std::nullopt;
    return ConnectTcp(*address, PortOnWire(port), Link.ConnectLimit);
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
        SendBytes(*Link.BoardConnection, Utf8ToWindows1252(command) + Link.CommandTerminator, Link.ReplyLimit);
    Received received{0, sent};
    if (sent == SocketOutcome::Done)
        received = ReceiveOnce(*Link.BoardConnection, Link.ReceiveBuffer, Link.ReplyLimit);
    Link.Answered = Link.Answered || received.outcome == SocketOutcome::Done;
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
    SocketOutcome outcome = SendBytes(*Link.BoardConnection, Link.IdleCommand + Link.CommandTerminator, Link.IdleReplyLimit);
    if (outcome == SocketOutcome::Done)
        outcome = ReceiveOnce(*Link.BoardConnection, std::span(Link.ReceiveBuffer).first(IdleReceiveSize),
                              Link.IdleReplyLimit)
                      .outcome;
    Link.Answered = Link.Answered || outcome == SocketOutcome::Done;
    if (outcome == SocketOutcome::Lost)
        MarkLost();
}

void TendBoardLink(SteadyTime now)
{
    if (!Link.Lost)
        return;
    // Each step may end at once (a dotted address, a refused or a loopback connect): the next one
    // is taken in the same turn.
    for (;;) {
        if (Link.Connecting) {
            const ConnectProgress progress = CheckConnect(*Link.Connecting);
            if (progress == ConnectProgress::Connected) {
                Restore();
            } else if (progress == ConnectProgress::Failed || now - Link.StepStarted >= Link.ConnectLimit) {
                CloseSocket(*Link.Connecting);
                Link.Connecting.reset();
                TryFailed(now);
            }
            return;
        }
        if (Link.Lookup) {
            if (!Link.Lookup->Done()) {
                if (now - Link.StepStarted >= Link.ConnectLimit) {
                    Link.Lookup.reset();
                    TryFailed(now);
                }
                return;
            }
            const std::optional<std::uint32_t> address = Link.Lookup->Address();
            Link.Lookup.reset();
            if (address)
                Link.Connecting = StartConnect(*address, PortOnWire(Link.Port));
            if (!Link.Connecting) {
                TryFailed(now);
                return;
            }
            Link.StepStarted = now;
            continue;
        }
        if (!Link.NextTry) {
            // Lost again before the board answered: the pauses go on growing, so that a board
            // that takes connections only to drop them is not hammered.
            if (Link.Answered) {
                Link.FailedTries = 0;
                Link.NextTry = now;
            } else {
                TryFailed(now);
            }
        }
        if (now < *Link.NextTry)
            return;
        Link.Lookup.emplace(Utf8ToWindows1252(Link.Host));
        Link.StepStarted = now;
    }
}

LinkNews TakeLinkNews()
{
    if (Link.News.empty())
        return LinkNews::None;
    const LinkNews news = Link.News.front();
    Link.News.pop_front();
    return news;
}

void CloseBoardConnection()
{
    if (Link.BoardConnection)
        CloseSocket(*Link.BoardConnection);
    Link.BoardConnection.reset();
    if (Link.Connecting)
        CloseSocket(*Link.Connecting);
    Link.Connecting.reset();
    Link.Lookup.reset();
}
