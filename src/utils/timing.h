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

// A board whose power is cut sends nothing more, not even a close: the system gives the
// connection up once what was sent has gone unacknowledged this long, or once an idle
// connection's keep-alive probes, the first after KeepAliveIdle and then one each
// KeepAliveInterval, have gone unanswered as long.
inline constexpr std::chrono::milliseconds UnacknowledgedLimit = 10000ms;
inline constexpr std::chrono::milliseconds KeepAliveIdle = 5000ms;
inline constexpr std::chrono::milliseconds KeepAliveInterval = 1000ms;

// The time Windows itself allows a connect, instead of Linux's two minutes.
inline constexpr std::chrono::milliseconds ConnectTimeLimit = 21000ms;

// A lost link is tried again at once, then after each of these pauses in turn, the last one over
// and over.
inline constexpr std::chrono::milliseconds LinkTryDelays[] = {1000ms, 2000ms, 4000ms, 8000ms, 16000ms, 30000ms};
// While the link is lost, how often the loop checks a try under way.
inline constexpr std::chrono::milliseconds ReconnectStepInterval = 100ms;

// The overview: how often its timer checks what is due, how long one turn of its reads may hold
// the loop, how often it reads the states, and how long a changed state stands out.
inline constexpr std::chrono::milliseconds OverviewInterval = 100ms;
inline constexpr std::chrono::milliseconds OverviewTurn = 50ms;
inline constexpr std::chrono::milliseconds OverviewStatesInterval = 1000ms;
inline constexpr std::chrono::milliseconds OverviewHighlight = 3000ms;
// A read that failed goes again at most this often. While polling runs, the overview's reads go
// where they end before the next poll is due; one that never fits goes after this pause anyway.
inline constexpr std::chrono::milliseconds OverviewRetryInterval = 1000ms;
inline constexpr std::chrono::milliseconds OverviewPollingPause = 1000ms;

// Lets the closing click be heard before the process ends (the click lasts 30.8 ms).
inline constexpr std::chrono::milliseconds CloseClickWait = 100ms;

// --- the platform layer ----------------------------------------------------------------------

// The output: how often a drag held outside it scrolls it; the longest a save of its lines goes
// without letting the windows be painted.
inline constexpr std::chrono::milliseconds OutputDragScrollInterval = 50ms;
inline constexpr std::chrono::milliseconds SaveKeepAliveInterval = 50ms;

// How often a wait for a name lookup checks whether it is done.
inline constexpr std::chrono::milliseconds LookupCheckInterval = 20ms;

// How long the program goes without input (a key, the pointer moving over one of its windows),
// in front or not, before the desktop suspends the click's stream: twice as long as a sound
// server leaves a device awake after its last sound, so that a pause to read costs no late click.
inline constexpr std::chrono::milliseconds AudioSuspendDelay = 10000ms;
// How often at most the click's stream looks for its device (its sound server) again once it
// has gone away, at a press or at a sign that one may come.
inline constexpr std::chrono::milliseconds AudioReopenInterval = 1000ms;
