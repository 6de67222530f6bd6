// What one polling tick costs the output editor (set the colour, append a line) as the text
// grows to a day of ticks, and the memory each line holds. The tick must stay flat.
#include <cstdio>
#include <string>

#include "app/globals.h"
#include "bench_support.h"
#include "ui/main_window.h"

int main()
{
    StartOffscreenDesktop();
    SetInitialValues();
    BuildMainWindow();

    const int sizes[] = {100, 10000, 345600};
    const int ticks = 400;
    double first = 0;
    long lines = 0;
    const double startMiB = ResidentMiB();
    std::printf("%10s %14s %12s %14s\n", "lines", "tick (ms)", "ratio", "bytes/line");
    for (int size : sizes) {
        for (; lines < size; ++lines)
            AppendLine(OutputEditor, "C:0A032A");
        // Lay out what was filled in before the clock starts.
        QCoreApplication::processEvents();
        const double tick = MeanTickMs(ticks, [] {
            SetTextColour(OutputEditor, G.ReplyColour);
            AppendLine(OutputEditor, "C:0A032A");
        });
        lines += ticks;
        if (first == 0)
            first = tick;
        const double perLine = (ResidentMiB() - startMiB) * 1024 * 1024 / static_cast<double>(lines);
        std::printf("%10ld %14.4f %12.2f %14.0f\n", lines, tick, tick / first, perLine);
    }
    std::printf("goal: tick at a day of lines at most 2x the tick at 100 lines\n");
    return 0;
}
