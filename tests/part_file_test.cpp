// Saving the output where names are tight: a chosen name of the longest length its folder allows
// is saved, through a file written meanwhile beside it, hidden, under a name of its own (two
// saves at once never share one); nothing else is left in the folder. In every build, under
// Wine too.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/output_file.h"
#include "temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The longest name of a file that the system lets the test create in the folder.
std::size_t LongestName(const std::filesystem::path& folder)
{
    for (std::size_t length = 300; length > 0; --length) {
        const std::filesystem::path path = folder / std::string(length, 'n');
        if (std::ofstream(path).is_open()) {
            std::filesystem::remove(path);
            return length;
        }
    }
    return 0;
}

bool Hidden(const std::filesystem::path& path)
{
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
#else
    return path.filename().string().starts_with(".");
#endif
}

std::vector<std::filesystem::path> Entries(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> entries;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        entries.push_back(entry.path());
    return entries;
}

TEST(SavingTheOutput, TheLongestNameTheFolderAllowsIsSavedThroughAHiddenFileOfItsOwnBesideIt)
{
    const TempFolder folder("save");
    const std::size_t longest = LongestName(folder.Path());
    ASSERT_GT(longest, 30u);
    const std::filesystem::path target = folder / std::string(longest, 'n');
    const std::vector<std::string> lines = {"Befehle", "", ">C", "C:12:00:00"};
    std::vector<std::filesystem::path> meanwhile;
    bool hidden = false;
    std::string problem;
    const bool saved = SaveOutputLines(
        target, lines.size(),
        [&](std::size_t index) {
            if (index == 0) {
                meanwhile = Entries(folder.Path());
                hidden = !meanwhile.empty() && Hidden(meanwhile[0]);
            }
            return std::string_view(lines[index]);
        },
        "\n", [] {}, problem);
    ASSERT_TRUE(saved) << "a name of " << longest << " characters: " << problem;
    ASSERT_EQ(meanwhile.size(), 1u) << "the file written meanwhile beside the target, and nothing else";
    EXPECT_TRUE(hidden) << meanwhile[0];
    EXPECT_EQ(FileBytes(target), "Befehle\n\n>C\nC:12:00:00\n");
    EXPECT_EQ(Entries(folder.Path()), std::vector<std::filesystem::path>{target});

    std::string why;
    std::optional<PartFile> first = BeginPartFile(target, why);
    std::optional<PartFile> second = BeginPartFile(target, why);
    ASSERT_TRUE(first && second) << why;
    EXPECT_NE(first->temporary, second->temporary);
    AbandonPartFile(*first);
    AbandonPartFile(*second);
    EXPECT_EQ(Entries(folder.Path()), std::vector<std::filesystem::path>{target});
}

}  // namespace
