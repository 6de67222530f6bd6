// The program's main loop and the actions of the main window's buttons.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/window.h"
#include "ui/running_log.h"

inline constexpr std::string_view FirmwareSiteAddress = "http://www.varnex.example/";
inline constexpr std::string_view AuthorSiteAddress = "http://www.brannholt.example/";

enum class LoopEnd { WindowClosed, BoardWebOpened };

// Runs until the window is closed, or until the board's web page has been opened (the click
// played and the connection closed already); the caller then ends the program.
LoopEnd RunEventLoop();

// Carries out one event; a value when the loop is to end.
std::optional<LoopEnd> HandleEvent(Event event);

// Sends the text of the command field and shows it with the board's reply; the command sent
// (empty when the field was). The running log notes it as sent by `sentBy`.
std::string SendCommand(LogEvent sentBy = LogEvent::Command);

// The web address of the board's own interface, built from the settings exactly as stored.
std::string BoardWebAddress();
