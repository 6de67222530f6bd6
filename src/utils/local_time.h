// A moment of the wall clock in local time, on either system, and written in a strftime format.
#pragma once

#include <array>
#include <chrono>
#include <ctime>
#include <string>

inline std::tm LocalTime(std::chrono::system_clock::time_point at)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    return local;
}

inline std::string LocalTimeText(std::chrono::system_clock::time_point at, const char* format)
{
    std::array<char, 64> text{};
    const std::tm local = LocalTime(at);
    return std::string(text.data(), std::strftime(text.data(), text.size(), format, &local));
}
