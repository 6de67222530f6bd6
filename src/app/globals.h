// The program-wide values, kept together so that every procedure finds them in one place and
// tests can put them back to their start-up state with SetInitialValues.
#pragma once

#include <array>
#include <chrono>
#include <deque>
#include <optional>
#include <string>

#include "board/settings.h"
#include "platform/net.h"
#include "platform/window.h"

inline constexpr std::size_t ReceiveBufferSize = 500;
inline constexpr std::size_t IdleReceiveSize = 100;

struct Globals {
    std::string ProgramVersion;                            // shown in the main window's title
    std::array<char, ReceiveBufferSize> ReceiveBuffer{};   // wire bytes of the latest reply
    Rgb ReferenceColour;                                   // command reference text
    Rgb ReplyColour;                                       // commands and replies
    FontSpec TitleFont;                                    // the main window's heading
    std::chrono::milliseconds IdleInterval{};              // IdleTimer period
    std::string IdleCommand;                               // keeps the board's connection alive
    std::string CommandTerminator;                         // ends every command on the wire
    std::chrono::milliseconds PollInterval{};              // PollTimer period
    bool PollingActive = false;                            // a polling run is on
    std::string PollCommand;                               // the command a polling run repeats
    std::deque<std::string> SentCommands;                  // sent with SendButton, oldest first
    std::size_t RecalledCommand = 0;                       // shown in the field by Up and Down;
                                                           // SentCommands.size(): none
    std::string BegunCommand;                              // the field's text before the first Up
    bool SoundAvailable = false;                           // sound output has started

    ConnectionSettings Settings;                           // from the settings file or the prompts
    std::optional<Socket> BoardConnection;                 // the one connection to the board

    // Waits of the connection; start as the named constants, tests may shorten them.
    std::chrono::milliseconds ConnectLimit{};
    std::chrono::milliseconds ReplyLimit{};
    std::chrono::milliseconds IdleReplyLimit{};
};

extern Globals G;

// The initial values, set in this order before anything is shown.
void SetInitialValues();
