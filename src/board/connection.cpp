// Command exchange with the board over the connection made at start-up.
#include "board/connection.h"

#include <algorithm>
#include <span>

#include "board/codepage.h"

std::optional<Socket> OpenBoardConnection(std::string_view host, std::int32_t port)
{
    const auto address = ResolveIPv4(Utf8ToWindows1252(host));
    if (!address)
        return std::nullopt;
    return ConnectTcp(*address, static_cast<std::uint16_t>(port & 0xFFFF), Link.ConnectLimit);
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

std::string ExchangeCommand(std::string_view command)
{
    // The blank fill is what makes a short reply leave no trace of an earlier one.
    Link.ReceiveBuffer.fill(' ');
    // A command that did not go out has no reply to wait for; one still on its way gets its
    // reply read by a later exchange, like any late reply.
    if (Link.BoardConnection
        && SendBytes(*Link.BoardConnection, Utf8ToWindows1252(command) + Link.CommandTerminator, Link.ReplyLimit))
        ReceiveOnce(*Link.BoardConnection, Link.ReceiveBuffer, Link.ReplyLimit);
    const std::string_view received(Link.ReceiveBuffer.data(), Link.ReceiveBuffer.size());
    return Windows1252ToUtf8(CleanReply(received.substr(0, received.find('\0'))));
}

void SendIdleMessage()
{
    if (!Link.BoardConnection || !SendBytes(*Link.BoardConnection, Link.IdleCommand + Link.CommandTerminator, Link.IdleReplyLimit))
        return;
    ReceiveOnce(*Link.BoardConnection, std::span(Link.ReceiveBuffer).first(IdleReceiveSize), Link.IdleReplyLimit);
}

void CloseBoardConnection()
{
    if (Link.BoardConnection)
        CloseSocket(*Link.BoardConnection);
    Link.BoardConnection.reset();
}
