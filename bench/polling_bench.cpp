// A simulated day of polling (345,600 ticks of 250 ms) run back to back against the simulated
// board: the tick's cost at the start and at the end, and the memory per line at the end.
#include <cstdio>
#include <cstdlib>

#include "globals.h"
#include "app/startup.h"
#include "bench_support.h"
#include "board/connection.h"
#include "netio_sim.h"
#include "ui/main_window.h"
#include "ui/polling.h"

int main(int argc, char** argv)
{
    const long dayOfTicks = argc > 1 ? std::atol(argv[1]) : 345600;
    const int sample = 2000;

    netio::Simulator sim({.port = 0});
    if (!sim.Start())
        return 1;
    StartOffscreenDesktop();
    SetInitialValues();
    Link.BoardConnection = OpenBoardConnection("127.0.0.1", sim.Port());
    if (!Link.BoardConnection)
        return 1;
    BuildMainWindow();
    const double startMiB = ResidentMiB();

    const double atStart = MeanTickMs(sample, PollOnce);
    for (long done = sample; done < dayOfTicks - sample; done += sample)
        MeanTickMs(sample, PollOnce);
    const double atEnd = MeanTickMs(sample, PollOnce);
    const double perLine = (ResidentMiB() - startMiB) * 1024 * 1024 / static_cast<double>(dayOfTicks);

    std::printf("ticks: %ld\n", dayOfTicks);
    std::printf("tick at the start: %.4f ms\n", atStart);
    std::printf("tick at the end:   %.4f ms (ratio %.2f)\n", atEnd, atEnd / atStart);
    std::printf("memory per line:   %.0f bytes (goal: at most 40)\n", perLine);
    CloseBoardConnection();
    return 0;
}
