// Every time limit and interval of the program, in one place.
#pragma once

#include <chrono>

using namespace std::chrono_literals;

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

// Lets the closing click be heard before the process ends (the click lasts 30.8 ms).
inline constexpr std::chrono::milliseconds CloseClickWait = 100ms;
