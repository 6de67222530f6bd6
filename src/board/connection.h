// The one link to the board: a TCP connection, one command and one reply at a time. The link
// keeps its own state here, from start-up to the end of the program.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net.h"
#include "utils/timing.h"

inline constexpr std::size_t ReceiveBufferSize = 500;
inline constexpr std::size_t IdleReceiveSize = 100;

struct BoardLink {
    std::optional<Socket> BoardConnection;                 // the one connection to the board
    std::array<char, ReceiveBufferSize> ReceiveBuffer{};   // wire bytes of the latest reply
    std::string IdleCommand = "x";                         // keeps the board's connection alive
    std::string CommandTerminator = "\r";                  // ends every command on the wire
    // Waits of the connection; tests may shorten them.
    std::chrono::milliseconds ConnectLimit = ConnectTimeLimit;
    std::chrono::milliseconds ReplyLimit = ReplyWaitLimit;
    std::chrono::milliseconds IdleReplyLimit = IdleReplyWaitLimit;
};

// At its start-up state as a BoardLink is made: no connection, a zero-filled buffer.
inline BoardLink Link;

// Dotted IPv4 host text as it stands, otherwise the name's first IPv4 address; the port's low
// 16 bits. None on any failure, including a connect that takes longer than Link.ConnectLimit.
std::optional<Socket> OpenBoardConnection(std::string_view host, std::int32_t port);

// Sends the command and CommandTerminator as one message, receives once into ReceiveBuffer and
// returns the cleaned reply. Each step waits at most Link.ReplyLimit. Empty when the board is
// silent, gone, not reading or never connected; a command that could not be sent waits for no
// reply.
std::string ExchangeCommand(std::string_view command);

// Every CR, LF and blank removed, wherever it stands.
std::string CleanReply(std::string_view bytes);

// Keeps the board's connection alive; whatever it answers is read and dropped. Each step waits
// at most Link.IdleReplyLimit.
void SendIdleMessage();

void CloseBoardConnection();
