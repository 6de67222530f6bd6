// Saving the output where names are tight: a name of the longest length its folder allows is
// saved, through a file written meanwhile beside it, hidden, under a name of its own (two saves
// at once never share one). In every build, under Wine too.
#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/shared/output_file.h"
#include "temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#endif

using Paths = std::vector<std::filesystem::path>;

static bool Hidden(const std::filesystem::path& path)
{
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
#else
    return path.filename().string().starts_with(".");
#endif
}

TEST(SavingTheOutput, TheLongestNameTheFolderAllowsIsSavedThroughAHiddenFileOfItsOwnBesideIt)
{
    const TempFolder folder("save");
    const auto entries = [&folder] { return Paths(std::filesystem::directory_iterator(folder.Path()), {}); };
    std::size_t longest = 300;   // the longest name the system lets the test create there
    while (longest > 0 && !std::ofstream(folder / std::string(longest, 'n')).is_open())
        --longest;
    const std::filesystem::path target = folder / std::string(longest, 'n');
    Paths meanwhile;
    bool hidden = false;
    const auto line = [&](std::size_t) {
        meanwhile = entries();
        hidden = meanwhile.size() == 2 && Hidden(meanwhile[meanwhile[0] == target ? 1 : 0]);
        return std::string_view(">C");
    };
    std::string problem;
    ASSERT_TRUE(SaveOutputLines(target, 1, line, "\n", [] {}, problem)) << "a name of " << longest << ": " << problem;
    EXPECT_EQ(meanwhile.size(), 2u) << "the name made above, and the file written meanwhile beside it";
    EXPECT_TRUE(hidden);
    EXPECT_EQ(FileBytes(target), ">C\n");

    std::string why;
    std::optional<SaveFile> first = BeginSaveFile(target, why), second = BeginSaveFile(target, why);
    ASSERT_TRUE(first && second) << why;
    EXPECT_NE(first->temporary, second->temporary);
    CancelSaveFile(*first);
    CancelSaveFile(*second);
    EXPECT_EQ(entries(), Paths{target});
}
