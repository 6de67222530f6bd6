// What the Windows output costs as its text grows to a day of polling (345,600 lines at 4 Hz):
// one polling tick (the colour set again, a line appended, the window painted) with 100, 20,000
// and a day of lines in the editor, the memory a line keeps, and a change of colour and a clear
// at each size. The lines are filled fast through the calls a tick makes. Goals: at most 40
// bytes a line, a tick at a day at most 1.2 times the tick at 100 lines, colour change and clear
// bounded. Run under Wine on a display: bash bench/wine_output_bench.sh build-win.
#define PSAPI_VERSION 2
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "globals.h"
#include "app/startup.h"
#include "ui/reference.h"
#include "platform/window.h"
#include "ui/main_window.h"

namespace {

using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr long DayOfLines = 345600;
constexpr int Ticks = 200;
constexpr char PolledLine[] = "C:0A032A";

// Lets the window paint what changed.
void Paint()
{
    WaitWindowEvent(std::chrono::milliseconds::zero());
}

template <typename Step>
double TimedMs(Step step)
{
    const auto started = std::chrono::steady_clock::now();
    step();
    Paint();
    return Milliseconds(std::chrono::steady_clock::now() - started).count();
}

// The process's resident memory (Wine fills in no private bytes).
double ResidentBytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.WorkingSetSize);
}

// Bytes handed out by the process's heaps and still in use.
double HeapBytes()
{
    std::vector<HANDLE> heaps(256);
    const DWORD count = std::min<DWORD>(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()), 256);
    double busy = 0;
    for (DWORD i = 0; i < count; ++i) {
        PROCESS_HEAP_ENTRY entry{};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                busy += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return busy;
}

struct TickCost {
    double medianMs = 0;   // the whole tick, painting included
    double meanMs = 0;
    double appendMs = 0;   // mean: the colour set again and the line appended
};

TickCost MeasureTicks()
{
    std::vector<double> ticks;
    TickCost cost;
    for (int i = 0; i < Ticks; ++i) {
        const auto started = std::chrono::steady_clock::now();
        SetTextColour(OutputEditor, ReplyColour);
        AppendLine(OutputEditor, PolledLine);
        const auto appended = std::chrono::steady_clock::now();
        Paint();
        const double tick = Milliseconds(std::chrono::steady_clock::now() - started).count();
        ticks.push_back(tick);
        cost.meanMs += tick / Ticks;
        cost.appendMs += Milliseconds(appended - started).count() / Ticks;
    }
    std::sort(ticks.begin(), ticks.end());
    cost.medianMs = (ticks[Ticks / 2 - 1] + ticks[Ticks / 2]) / 2;
    return cost;
}

// Fills the output up to `size` lines as polling does, painting now and then; returns the ms.
double FillTo(long& lines, long size)
{
    return TimedMs([&] {
        for (; lines < size; ++lines) {
            SetTextColour(OutputEditor, ReplyColour);
            AppendLine(OutputEditor, PolledLine);
            if (lines % 4096 == 0)
                Paint();
        }
    });
}

// Red and back to blue, each painted.
double ColourChangeMs()
{
    const double red = TimedMs([] { SetTextColour(OutputEditor, ReferenceColour); });
    const double blue = TimedMs([] { SetTextColour(OutputEditor, ReplyColour); });
    return (red + blue) / 2;
}

const char* Verdict(bool met)
{
    return met ? "met" : "NOT met";
}

}  // namespace

int main()
{
    StartDesktop();
    SetInitialValues();
    BuildMainWindow();
    SetTextColour(OutputEditor, ReplyColour);
    Paint();

    std::printf("%9s %10s %10s %10s %10s %10s %10s %10s\n", "lines", "tick ms", "(mean)", "append", "colour ms",
                "clear ms", "B/line", "heap B/l");
    long lines = 0;
    double firstTick = 0;
    double dayTick = 0;
    double residentPerLine = 0;
    std::vector<double> colours, clears;
    for (const long size : {100L, 20000L, DayOfLines}) {
        // Memory is counted from an empty output up to the size, ticks included.
        const double residentBefore = ResidentBytes();
        const double heapBefore = HeapBytes();
        const double filling = FillTo(lines, size);
        const TickCost tick = MeasureTicks();
        lines += Ticks;
        const double perLine = (ResidentBytes() - residentBefore) / static_cast<double>(lines);
        const double heapPerLine = (HeapBytes() - heapBefore) / static_cast<double>(lines);
        const double colour = ColourChangeMs();
        const double clear = TimedMs([] { ClearOutput(OutputEditor); });
        colours.push_back(colour);
        clears.push_back(clear);
        std::printf("%9ld %10.3f %10.3f %10.3f %10.2f %10.2f %10.1f %10.1f   (filled in %.0f ms)\n", lines,
                    tick.medianMs, tick.meanMs, tick.appendMs, colour, clear, perLine, heapPerLine, filling);
        std::fflush(stdout);
        if (firstTick == 0)
            firstTick = tick.medianMs;
        dayTick = tick.medianMs;
        residentPerLine = perLine;
        lines = 0;
    }
    // Bounded: a change of colour or a clear of a day's lines costs no more than at 100 lines,
    // give or take a few ms per 100,000 lines.
    const double allowance = 3.0 * DayOfLines / 100000;
    const bool colourBounded = colours.back() <= colours.front() + allowance;
    const bool clearBounded = clears.back() <= clears.front() + allowance;
    std::printf("memory at a day: %.1f bytes a line (goal: at most 40): %s\n", residentPerLine,
                Verdict(residentPerLine <= 40));
    std::printf("tick at a day / tick at 100 lines: %.2f (goal: at most 1.2): %s\n", dayTick / firstTick,
                Verdict(dayTick <= 1.2 * firstTick));
    std::printf("colour change at a day %.2f ms, at 100 lines %.2f ms: %s; clear at a day %.2f ms, at 100 lines "
                "%.2f ms: %s (goal: at most %.1f ms more)\n",
                colours.back(), colours.front(), colourBounded ? "bounded" : "NOT bounded", clears.back(),
                clears.front(), clearBounded ? "bounded" : "NOT bounded", allowance);
    EndDesktop();
    return 0;
}
