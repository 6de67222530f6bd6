// Entry points for tests only: the program itself never calls them. Each is defined in the
// layer it reaches into.
#pragma once

#include <chrono>
#include <functional>
#include <string_view>

// While set, web addresses go to the recorder instead of the desktop (OpenWebAddress).
void SetWebAddressRecorder(std::function<void(std::string_view)> recorder);

// The clock the running log's times come from; nullptr puts back the system's.
void SetRunningLogClock(std::chrono::system_clock::time_point (*now)());
