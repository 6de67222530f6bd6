// Saving a week of polling (2.4 million lines) through the output's save: how long it takes in
// all, and the longest the window would go without being painted meanwhile (goal: under a second).
//   build/save_bench [FOLDER]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/shared/output_file.h"
#include "utils/line_store.h"

int main(int argc, char** argv)
{
    using Clock = std::chrono::steady_clock;
    const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    constexpr std::size_t Lines = 2'419'200;   // a week at four lines a second
    LineStore lines;
    for (std::size_t i = 0; i < Lines; ++i)
        lines.Append("C:" + std::to_string(100000 + i % 800000));

    const std::filesystem::path target = folder / "skarvel-save-bench.txt";
    auto last = Clock::now();
    const auto start = last;
    Clock::duration longest{};
    std::string problem;
    const bool saved = SaveOutputLines(
        target, lines.Count(), [&](std::size_t index) { return lines.Line(index); }, "\n",
        [&] {
            const auto now = Clock::now();
            longest = std::max(longest, now - last);
            last = now;
        },
        problem);
    const auto end = Clock::now();
    longest = std::max(longest, end - last);
    const auto ms = [](Clock::duration span) { return std::chrono::duration<double, std::milli>(span).count(); };
    if (!saved) {
        std::printf("not saved: %s\n", problem.c_str());
        return 1;
    }
    std::printf("%zu lines, %.1f MB: saved in %.0f ms; longest stretch without painting %.0f ms (goal < 1000)\n",
                lines.Count(), static_cast<double>(std::filesystem::file_size(target)) / 1e6, ms(end - start),
                ms(longest));
    std::filesystem::remove(target);
    return 0;
}
