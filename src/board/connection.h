// The one link to the board: a TCP connection, one command and one reply at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net.h"

// Dotted IPv4 host text as it stands, otherwise the name's first IPv4 address; the port's low
// 16 bits. None on any failure, including a connect that takes longer than G.ConnectLimit.
std::optional<Socket> OpenBoardConnection(std::string_view host, std::int32_t port);

// Sends the command and CommandTerminator as one message, receives once into ReceiveBuffer and
// returns the cleaned reply. Each step waits at most G.ReplyLimit. Empty when the board is silent,
// gone, not reading or never connected; a command that could not be sent waits for no reply.
std::string ExchangeCommand(std::string_view command);

// Every CR, LF and blank removed, wherever it stands.
std::string CleanReply(std::string_view bytes);

// Keeps the board's connection alive; whatever it answers is read and dropped. Each step waits
// at most G.IdleReplyLimit.
void SendIdleMessage();

void CloseBoardConnection();
