// Every time limit and interval of the program in one place: the program's own, and those its
// platform layer keeps. Any layer may read them.
#pragma once

#include <chrono>

using namespace std::chrono_literals;

// --- the program -----------------------------------------------------------------------------

inline constexpr std::chrono::milliseconds IdleInterval = 1000ms;   // IdleTimer
inline constexpr std::chrono::milliseconds PollInterval = 250ms;    // PollTimer
inline constexpr std::chrono::milliseconds EventWaitLimit = 1000ms;

// How long a receive waits for the first byte of a reply. A silent board must not freeze the
// window for good; the idle reply gets long enough for boards 50-200 ms away over the internet
// (a late idle reply would show in front of the next reply), yet well under a second.
inline constexpr std::chrono::milliseconds ReplyWaitLimit = 1000ms;
inline constexpr std::chrono::milliseconds IdleReplyWaitLimit = 400ms;

// The time Windows itself allows a connect, instead of Linux's two minutes.
inline constexpr std::chrono::milliseconds ConnectTimeLimit = 21000ms;

// A lost link is tried again at once, then after each of these pauses in turn, the last one over
// and over.
inline constexpr std::chrono::milliseconds LinkTryDelays[] = {1000ms, 2000ms, 4000ms, 8000ms, 16000ms, 30000ms};
// While the link is lost, how often the loop looks how a try stands.
inline constexpr std::chrono::milliseconds LinkTendInterval = 100ms;

// The board view: how often its timer looks what is due, how long one turn of its reads may hold
// the loop, how often it reads the states, and how long a changed state stands out.
inline constexpr std::chrono::milliseconds BoardViewInterval = 100ms;
inline constexpr std::chrono::milliseconds BoardViewTurn = 50ms;
inline constexpr std::chrono::milliseconds BoardViewStatesInterval = 1000ms;
inline constexpr std::chrono::milliseconds BoardViewHighlight = 3000ms;

// Lets the closing click be heard before the process ends (the click lasts 30.8 ms).
inline constexpr std::chrono::milliseconds CloseClickWait = 100ms;

// --- the platform layer ----------------------------------------------------------------------

// The output: how often a drag held outside it scrolls it; the longest a save of its lines goes
// without letting the windows be painted.
inline constexpr std::chrono::milliseconds OutputDragScrollInterval = 50ms;
inline constexpr std::chrono::milliseconds SaveKeepAliveInterval = 50ms;

// How often a wait for a name lookup looks whether it is done.
inline constexpr std::chrono::milliseconds LookupLookInterval = 20ms;

// How long the program goes without input (a key, the pointer moving over one of its windows),
// in front or not, before the desktop lets the click's output rest: twice as long as a sound
// server leaves a device awake after its last sound, so that a pause to read costs no late click.
inline constexpr std::chrono::milliseconds AudioRestDelay = 10000ms;
// How often at most the click's output looks for its device (its sound server) again once it
// has gone away, at a press or at a sign that one may come.
inline constexpr std::chrono::milliseconds AudioReopenInterval = 1000ms;

// Qt: how long a new window may take to be mapped and exposed before it is painted anyway.
inline constexpr std::chrono::milliseconds ExposeLimit = 1000ms;
// Win32: the time a newly shown window is given to be drawn by the window system before the
// caller goes on (it may block right after).
inline constexpr std::chrono::milliseconds ShowSettleTime = 100ms;
// Win32: a socket wait looks at the socket itself at least this often, in case the network
// event that should wake it was missed.
inline constexpr std::chrono::milliseconds SocketLookInterval = 100ms;
// Qt: how long the connecting window stays up without the program's icon.
inline constexpr std::chrono::milliseconds ConnectIconDelay = 200ms;
// Linux: how long the sound server may stay silent while the connection, and then the click's
// stream, is made.
inline constexpr std::chrono::milliseconds SoundServerAnswerLimit = 400ms;
// Win32: how long after its start a click may still be on its way through the system: a press
// within that time restarts the stream, whatever the stream says it still holds.
inline constexpr std::chrono::milliseconds ClickAfterglow = 60ms;
// Win32: how long a stream just opened runs before a click is written into it (a press that
// opened the device again waits for it): Wine lost the end of a click written sooner.
inline constexpr std::chrono::milliseconds FreshStreamSettle = 40ms;
// Win32: the silence written after the click: a stream on a sound server that had only just
// started lost the last few ms written into it, which are then silence, not the click's end.
inline constexpr std::chrono::milliseconds ClickTrailingSilence = 20ms;
