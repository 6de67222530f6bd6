// Polling mode: one command sent again on every poll tick while the toggle is pressed in.
#pragma once

#include <chrono>
#include <optional>

// On every PollTimer tick: asks for the command when a run is to start, then polls once.
void OnPollTimer();

// Sends PollCommand and appends its reply below what the editor holds.
void PollOnce();

// While a run is on, when its next poll is due (a tick after the last); none while polling is off.
std::optional<std::chrono::steady_clock::time_point> NextPollDue();

// On events of the toggle, the command field and the editor: ends a run once the toggle is out.
void OnOtherControlEvent();
