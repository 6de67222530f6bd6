// The running log at 4 Hz for a long time, written back to back: the cost of a line on the event
// loop (the whole Log call, its write to the system included), and whether memory grows with it.
// Usage: log_bench [LINES] [FOLDER]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "ui/running_log.h"

namespace {

double ResidentKiB()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

}  // namespace

int main(int argc, char** argv)
{
    const long lines = argc > 1 ? std::atol(argv[1]) : 345600;   // a day of polling, its reply lines
    const std::filesystem::path folder = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
    const std::filesystem::path path = folder / ("skarvel-log-bench-" + std::to_string(getpid()) + ".txt");
    std::string why;
    if (!StartRunningLog(path, why)) {
        std::fprintf(stderr, "cannot start the log: %s\n", why.c_str());
        return 1;
    }
    // Whole microseconds a bucket, the last one for all above: the benchmark's own memory stays flat.
    std::vector<long> buckets(1001);
    double sum = 0, longest = 0;
    double kibAfterFirst = 0;
    for (long i = 0; i < lines; ++i) {
        const auto started = std::chrono::steady_clock::now();
        Log(i % 2 == 0 ? LogEvent::Poll : LogEvent::Reply, i % 2 == 0 ? "C" : "C:0E030C",
            i % 2 == 0 ? std::nullopt : std::optional(std::chrono::milliseconds(3)));
        const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - started).count();
        ++buckets[std::min<std::size_t>(static_cast<std::size_t>(us), buckets.size() - 1)];
        sum += us;
        longest = std::max(longest, us);
        if (i == 1000)
            kibAfterFirst = ResidentKiB();
    }
    const double kibAtEnd = ResidentKiB();
    EndRunningLog();
    const auto size = std::filesystem::file_size(path);
    std::filesystem::remove(path);

    const auto below = [&](double share) {
        long seen = 0;
        for (std::size_t us = 0; us < buckets.size(); ++us)
            if ((seen += buckets[us]) >= static_cast<long>(share * static_cast<double>(lines)))
                return static_cast<long>(us) + 1;
        return static_cast<long>(buckets.size());
    };
    std::printf("lines: %ld, %.1f MB written to %s\n", lines, static_cast<double>(size) / 1e6, folder.c_str());
    std::printf("a line: mean %.1f us, median under %ld us, 99.9 %% under %ld us, longest %.1f us (goal: under 100 us)\n",
                sum / static_cast<double>(lines), below(0.5), below(0.999), longest);
    std::printf("memory: %.0f KiB after 1,000 lines, %.0f KiB at the end\n", kibAfterFirst, kibAtEnd);
}
