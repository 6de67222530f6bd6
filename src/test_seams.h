// Entry points for tests only: the program itself never calls them. Each is defined in the
// layer it reaches into.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file.h"

// While set, web addresses go to the recorder instead of the desktop (OpenWebAddress).
void SetWebAddressRecorder(std::function<void(std::string_view)> recorder);

// The clock the running log's times come from; nullptr puts back the system's.
void SetRunningLogClock(std::chrono::system_clock::time_point (*now)());

// What the running log's writer adds a line with; nullptr puts back the system's (AppendToFile).
void SetRunningLogAppend(bool (*append)(AppendFile& file, std::string_view bytes, std::string& why));

// Waits at most `limit` until the running log's writer has written all it was handed (or has
// given up); whether it has.
bool WaitForRunningLog(std::chrono::milliseconds limit);
