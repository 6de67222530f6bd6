// The program-wide values that change while the program runs: the settings, the polling state
// and the command it repeats, which the main window's procedures and the start-up share. Kept
// together in one commented place, under the main window's layers and above the board link's,
// the click's and the platform's, which keep their own state themselves. SetInitialValues
// (app/startup.h) puts them, and every layer's own state, back to the start.
#pragma once

#include <string>

#include "board/settings.h"

// Off: the toggle is out. Armed: pressed in, the run not yet begun (its prompt comes with the
// next tick). Running: a run is on.
enum class PollingState { Off, Armed, Running };

struct Globals {
    ConnectionSettings settings;                   // from the settings file or the prompts
    PollingState polling = PollingState::Off;      // where polling stands
    std::string PollCommand = "C";                 // the command a polling run repeats
};

inline Globals G;

// A polling run is on.
inline bool PollingActive()
{
    return G.polling == PollingState::Running;
}
