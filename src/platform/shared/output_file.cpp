// Saving the output's lines to a file.
#include "platform/shared/output_file.h"

#include <ctime>

#include "platform/file.h"
#include "utils/timing.h"

namespace {

constexpr std::string_view ProblemText = "Die Ausgabe kann nicht gespeichert werden!\r\r";

// Bytes gathered before they are handed to the file: a week of polling is written in well under
// a second at a time.
constexpr std::size_t ChunkBytes = 1 << 20;

bool Fail(std::string_view why, std::string& problem)
{
    problem = std::string(ProblemText) + std::string(why);
    return false;
}

}  // namespace

std::string SuggestedOutputFileName(std::chrono::system_clock::time_point at)
{
    return LocalTimeText(at, "Skarvel-Ausgabe-%Y-%m-%d-%H%M%S.txt");
}

bool SaveOutputLines(const std::filesystem::path& path, std::size_t count,
                     const std::function<std::string_view(std::size_t)>& line, std::string_view lineEnd,
                     const std::function<void()>& keepAlive, std::string& problem)
{
    std::string why;
    std::optional<SaveFile> file = BeginSaveFile(path, why);
    if (!file)
        return Fail(why, problem);
    std::string part;
    part.reserve(ChunkBytes + 4096);
    auto kept = std::chrono::steady_clock::now();
    for (std::size_t index = 0; index < count; ++index) {
        part += line(index);
        part += lineEnd;
        if (part.size() < ChunkBytes && index + 1 < count)
            continue;
        if (!AppendToSaveFile(*file, part, why)) {
            CancelSaveFile(*file);
            return Fail(why, problem);
        }
        part.clear();
        if (const auto now = std::chrono::steady_clock::now(); now - kept >= SaveKeepAliveInterval) {
            keepAlive();
            kept = now;
        }
    }
    if (!CommitSaveFile(*file, why))
        return Fail(why, problem);
    return true;
}
