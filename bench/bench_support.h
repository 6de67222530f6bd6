// Shared bits of the benchmarks: a clock, the process's resident memory, the offscreen platform.
#pragma once

#include <QCoreApplication>
#include <QtGlobal>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "platform/window.h"

inline double ResidentMiB()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Runs `tick` `count` times and returns its mean cost in milliseconds, events included.
template <typename Tick>
double MeanTickMs(int count, Tick tick)
{
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        tick();
        QCoreApplication::processEvents();
    }
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - started;
    return spent.count() / count;
}

inline void StartOffscreenDesktop()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    StartDesktop();
}
