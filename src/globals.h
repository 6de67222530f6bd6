// The program-wide values: the settings, the main window's colours and font, the timers' periods
// and the polling state, which the main window's procedures and the start-up share. Kept
// together in one commented place, under the main window's layers and above the board link's,
// the click's and the platform's, which keep their own state themselves. SetInitialValues
// (app/startup.h) puts them, and every layer's own state, back to the start.
#pragma once

#include <chrono>
#include <string>

#include "board/settings.h"
#include "platform/window.h"

struct Globals {
    std::string ProgramVersion;                            // shown in the main window's title
    Rgb ReferenceColour;                                   // command reference text
    Rgb ReplyColour;                                       // commands and replies
    FontSpec TitleFont;                                    // the main window's heading
    std::chrono::milliseconds IdleInterval{};              // IdleTimer period
    std::chrono::milliseconds PollInterval{};              // PollTimer period
    bool PollingActive = false;                            // a polling run is on
    std::string PollCommand;                               // the command a polling run repeats
    ConnectionSettings Settings;                           // from the settings file or the prompts
};

inline Globals G;
