// What the Windows output costs as its text grows: one polling tick (the colour set again, a line
// appended, the window painted) with 100 and with 20,000 lines in the editor, a change of colour
// and a clear at 20,000 lines. Tick and clear must not grow with the text. Run under Wine on a
// display: bench/wine_output_bench.sh build-win.
#include <chrono>
#include <cstdio>
#include <string>

#include "app/globals.h"
#include "platform/window.h"
#include "ui/main_window.h"

namespace {

using Milliseconds = std::chrono::duration<double, std::milli>;

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

struct TickCost {
    double appendMs = 0;   // the colour set again and the line appended
    double paintMs = 0;    // the window painting what changed
};

TickCost MeanTick(int ticks)
{
    TickCost cost;
    for (int i = 0; i < ticks; ++i) {
        const auto started = std::chrono::steady_clock::now();
        SetTextColour(OutputEditor, G.ReplyColour);
        AppendLine(OutputEditor, "C:0A032A");
        const auto appended = std::chrono::steady_clock::now();
        Paint();
        cost.appendMs += Milliseconds(appended - started).count() / ticks;
        cost.paintMs += Milliseconds(std::chrono::steady_clock::now() - appended).count() / ticks;
    }
    return cost;
}

}  // namespace

int main()
{
    StartDesktop();
    SetInitialValues();
    BuildMainWindow();
    SetTextColour(OutputEditor, G.ReplyColour);

    constexpr int Ticks = 200;
    long lines = 0;
    std::printf("%10s %12s %12s %12s\n", "lines", "tick (ms)", "append", "paint");
    double first = 0;
    double last = 0;
    for (const long size : {100L, 20000L}) {
        const double filling = TimedMs([&] {
            for (; lines < size; ++lines)
                AppendLine(OutputEditor, "C:0A032A");
        });
        const TickCost tick = MeanTick(Ticks);
        last = tick.appendMs + tick.paintMs;
        lines += Ticks;
        if (first == 0)
            first = last;
        std::printf("%10ld %12.3f %12.3f %12.3f   (filled in %.0f ms)\n", lines, last, tick.appendMs, tick.paintMs,
                    filling);
    }
    const double recolour = TimedMs([] { SetTextColour(OutputEditor, G.ReferenceColour); });
    const double clear = TimedMs([] { ClearOutput(OutputEditor); });
    std::printf("colour change at %ld lines: %.1f ms\n", lines, recolour);
    std::printf("clear of %ld lines: %.1f ms\n", lines, clear);
    std::printf("tick at %ld lines / tick at 100: %.2f (goal: at most 2)\n", lines, last / first);
    EndDesktop();
    return 0;
}
