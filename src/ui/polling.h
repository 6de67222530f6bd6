// Polling mode: one command sent again on every poll tick while the toggle is pressed in.
#pragma once

// On every PollTimer tick: asks for the command when a run is to start, then polls once.
void OnPollTimer();

// Sends PollCommand and appends its reply below what the editor holds.
void PollOnce();

// On events of the toggle, the command field and the editor: ends a run once the toggle is out.
void OnOtherControlEvent();
