// The output's line store: what goes in comes back line by line, clearing starts afresh, and the
// offsets keep every line apart however long the text grows.
#include "utils/line_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Appends every line with its width and checks the store against them.
template <typename Store>
void ExpectHolds(Store& store, const std::vector<std::string>& lines)
{
    std::uint32_t widest = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto width = static_cast<std::uint32_t>(lines[i].size() * 3 % 1000);
        store.Append(lines[i], width);
        widest = std::max(widest, width);
    }
    ASSERT_EQ(store.Count(), lines.size());
    std::string joined;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(store.Line(i), lines[i]) << "line " << i;
        joined += (i ? "\n" : "") + lines[i];
        bytes += lines[i].size();
    }
    EXPECT_EQ(store.Text(), joined);
    EXPECT_EQ(store.TextSize(), bytes);
    EXPECT_EQ(store.WidestWidth(), widest);
    EXPECT_EQ(store.Line(lines.size()), "");
}

TEST(LineStore, GivesBackEveryLineAsAppendedEmptyOnesIncluded)
{
    LineStore store;
    EXPECT_EQ(store.Count(), 0u);
    EXPECT_EQ(store.Text(), "");
    ExpectHolds(store, {"", "*** Starte Polling mit Befehls-Sequenz 'C' ***", "", "C:0A032A",
                        "NET-IO zu Client \tS1:Seite 2", "ä€\xC2\x81?", std::string("nul\0inside", 10),
                        std::string(2000, 'W'), ""});
    EXPECT_EQ(store.Text(1, 4), "*** Starte Polling mit Befehls-Sequenz 'C' ***\n\nC:0A032A");
    EXPECT_EQ(store.Text(3, 3), "");
    EXPECT_EQ(store.Text(8, 100), "");
}

TEST(LineStore, ClearingGivesTheMemoryBackAndStartsAfresh)
{
    LineStore store;
    for (int i = 0; i < 100000; ++i)
        store.Append("C:0A032A", 60);
    EXPECT_GE(store.Footprint(), 100000u * 12);
    store.Clear();
    EXPECT_EQ(store.Count(), 0u);
    EXPECT_EQ(store.Footprint(), 0u);
    EXPECT_EQ(store.WidestWidth(), 0u);
    EXPECT_EQ(store.Text(), "");
    // One empty line after a clear is one line, as in an empty editor.
    ExpectHolds(store, {"", "second"});
}

TEST(LineStore, OffsetsThatWrapStillFindEveryLine)
{
    // One-byte offsets wrap every 256 bytes, as four-byte ones do every 4 GiB.
    std::vector<std::string> lines;
    for (std::size_t length : {0, 1, 255, 0, 256, 7, 600, 0, 0, 1000, 3, 254, 2})
        lines.push_back(std::string(length, static_cast<char>('a' + lines.size())));
    BasicLineStore<std::uint8_t> store;
    ExpectHolds(store, lines);
    EXPECT_EQ(store.Text(5, 7), lines[5] + "\n" + lines[6]);
    store.Clear();
    ExpectHolds(store, lines);
}

}  // namespace
