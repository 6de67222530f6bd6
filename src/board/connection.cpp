// Command exchange with the board over the connection made at start-up.
#include "board/connection.h"

#include <algorithm>
#include <span>

#include "app/globals.h"
#include "board/codepage.h"

std::optional<Socket> OpenBoardConnection(std::string_view host, std::int32_t port)
{
    const auto address = ResolveIPv4(Utf8ToWindows1252(host));
    if (!address)
        return std::nullopt;
    return ConnectTcp(*address, static_cast<std::uint16_t>(port & 0xFFFF), G.ConnectLimit);
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
    G.ReceiveBuffer.fill(' ');
    // A command that did not go out has no reply to wait for; one still on its way gets its
    // reply read by a later exchange, like any late reply.
    if (G.BoardConnection
        && SendBytes(*G.BoardConnection, Utf8ToWindows1252(command) + G.CommandTerminator, G.ReplyLimit))
        ReceiveOnce(*G.BoardConnection, G.ReceiveBuffer, G.ReplyLimit);
    const std::string_view received(G.ReceiveBuffer.data(), G.ReceiveBuffer.size());
    return Windows1252ToUtf8(CleanReply(received.substr(0, received.find('\0'))));
}

void SendIdleMessage()
{
    if (!G.BoardConnection || !SendBytes(*G.BoardConnection, G.IdleCommand + G.CommandTerminator, G.IdleReplyLimit))
        return;
    ReceiveOnce(*G.BoardConnection, std::span(G.ReceiveBuffer).first(IdleReceiveSize), G.IdleReplyLimit);
}

void CloseBoardConnection()
{
    if (G.BoardConnection)
        CloseSocket(*G.BoardConnection);
    G.BoardConnection.reset();
}
