// The command reference's shape, line by line: example exchanges as a direction, one tab and the
// message, the empty lines between sections, prose without stray blanks, paragraphs split where
// they continue, every character one the board's code page has. The wording itself is not
// retyped here; the examples are checked against the simulated board in sim_test.
#include "ui/reference_text.h"

#include "board/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

// Each line's kind, the first line first: H a heading or a line of its own, - empty, E an example,
// P prose that ends its sentence, C prose cut mid-sentence and continued on the next line.
constexpr std::string_view Kinds = "H-H-PCP-CP-HEEEE-H-H-PEE-H-CPEE-H-CPEE-H-PEE-H-PEE-H-PEE-H-PEE-H-CPEE";
constexpr std::string_view Request = "Client zu NET-IO \t";
constexpr std::string_view Reply = "NET-IO zu Client \t";

TEST(ReferenceText, EveryLineHasTheShapeOfItsKind)
{
    ASSERT_EQ(CommandReferenceLines.size(), Kinds.size());
    bool requestNext = true;
    for (std::size_t i = 0; i < Kinds.size(); ++i) {
        const std::string_view line = CommandReferenceLines[i];
        const char kind = Kinds[i];
        SCOPED_TRACE("line " + std::to_string(i + 1) + ": " + std::string(line));
        EXPECT_EQ(line.empty(), kind == '-');
        EXPECT_EQ(line.find_first_of("\r\n"), std::string_view::npos);
        // Whole UTF-8 characters, each one Windows-1252 has: any other would come back as "?".
        EXPECT_EQ(FitToWindows1252(line), line);
        if (kind == 'E') {
            // A request, then its reply: the direction, one blank, one tab, the message.
            const std::string_view direction = requestNext ? Request : Reply;
            EXPECT_TRUE(line.starts_with(direction));
            EXPECT_GT(line.size(), direction.size());
            EXPECT_EQ(line.find('\t'), direction.size() - 1);
            EXPECT_EQ(line.rfind('\t'), direction.size() - 1);
            requestNext = !requestNext;
            continue;
        }
        EXPECT_EQ(line.find('\t'), std::string_view::npos);
        if (kind == '-')
            continue;
        EXPECT_NE(line.front(), ' ');
        EXPECT_NE(line.back(), ' ');
        EXPECT_EQ(line.find("  "), std::string_view::npos);
        if (kind == 'P' || kind == 'C') {
            EXPECT_EQ(line.ends_with('.'), kind == 'P');
        }
    }
    EXPECT_TRUE(requestNext) << "every request has its reply";
}

// The page name's blank stays: the reference never goes through the reply cleaning.
TEST(ReferenceText, ThePageNameExampleKeepsItsBlank)
{
    EXPECT_EQ(CommandReferenceLines[43], std::string(Reply) + "S1:Seite 2");
}

}  // namespace
