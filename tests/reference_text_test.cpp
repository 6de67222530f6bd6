// Checks the command reference text line by line: fixed lines, example layout, blank lines
// and the prose paragraphs, so a slipped comma or stray tab in the table shows up here.
#include "ui/reference_text.h"

#include "board/codepage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace {

// Line numbers below are 1-based, as the text is read.
std::string_view line(std::size_t number) { return CommandReferenceLines.at(number - 1); }

struct FixedLine {
    std::size_t number;
    std::string_view text;
};

constexpr FixedLine kFixedLines[] = {
    {1, "Befehle für das Varnex-NET-IO-Board"},
    {3, "Befehlsaufbau"},
    {10, "zu vermeiden."},
    {12, "Dies könnte so aussehen:"},
    {13, "Client zu NET-IO \tQ"},
    {14, "NET-IO zu Client \tQ:05"},
    {15, "Client zu NET-IO \tN00"},
    {16, "NET-IO zu Client \tN00:I00Taster1"},
    {18, "Die Befehle im Einzelnen"},
    {20, "Anzahl Einträge (Q)"},
    {23, "Client zu NET-IO \tQ"},
    {24, "NET-IO zu Client \tQ:0A"},
    {26, "Eintrag (N)"},
    {30, "Client zu NET-IO \tN01"},
    {31, "NET-IO zu Client \tN01:I42Test1"},
    {33, "Zustände (P)"},
    {37, "Client zu NET-IO \tP1"},
    {38, "NET-IO zu Client \tP1:00010001000000010000000100000000"},
    {40, "Seiten-Namen (S)"},
    {43, "Client zu NET-IO \tS1"},
    {44, "NET-IO zu Client \tS1:Seite 2"},
    {46, "Firmware (F)"},
    {49, "Client zu NET-IO \tF"},
    {50, "NET-IO zu Client \tF:020103"},
    {52, "Uhrzeit (C)"},
    {55, "Client zu NET-IO \tC"},
    {56, "NET-IO zu Client \tC:0A032A"},
    {58, "Toggle (T)"},
    {61, "Client zu NET-IO \tT02"},
    {62, "NET-IO zu Client \tT02:1"},
    {64, "Kennwort (K) [ab Version 2.1.6]"},
    {68, "Client zu NET-IO \tBeliebige Nachricht"},
    {69, "NET-IO zu Client \tK:1"},
};

constexpr std::size_t kExampleLines[] = {13, 14, 15, 16, 23, 24, 30, 31, 37, 38, 43, 44,
                                         49, 50, 55, 56, 61, 62, 68, 69};

constexpr std::size_t kEmptyLines[] = {2,  4,  8,  11, 17, 19, 21, 25, 27, 32, 34,
                                       39, 41, 45, 47, 51, 53, 57, 59, 63, 65};

constexpr std::size_t kProseLines[] = {5, 6, 7, 9, 22, 28, 29, 35, 36, 42, 48, 54, 60, 66, 67};

// Paragraphs continued on the next line stop mid-sentence.
constexpr std::size_t kCutLines[] = {6, 9, 28, 35, 66};

template <typename Range>
bool contains(const Range& range, std::size_t number) {
    return std::find(std::begin(range), std::end(range), number) != std::end(range);
}


TEST(ReferenceText, FixedLinesMatchExactly) {
    for (const auto& fixed : kFixedLines) {
        EXPECT_EQ(line(fixed.number), fixed.text) << "line " << fixed.number;
    }
}

TEST(ReferenceText, ExampleLinesHaveOneTabAfterTheDirection) {
    for (auto n : kExampleLines) {
        const auto text = line(n);
        SCOPED_TRACE("line " + std::to_string(n));
        EXPECT_EQ(std::count(text.begin(), text.end(), '\t'), 1);
        const auto tab = text.find('\t');
        ASSERT_NE(tab, std::string_view::npos);
        ASSERT_GT(tab, 0u);
        EXPECT_EQ(text[tab - 1], ' ');
        EXPECT_NE(text[tab - 2], ' ') << "only one blank before the tab";
        EXPECT_TRUE(text.starts_with("Client zu NET-IO ") || text.starts_with("NET-IO zu Client "));
        EXPECT_EQ(tab, std::string_view("Client zu NET-IO ").size());
        EXPECT_LT(tab + 1, text.size()) << "message after the tab";
    }
}

TEST(ReferenceText, DirectionsAlternateInEachExample) {
    for (std::size_t i = 0; i < std::size(kExampleLines); i += 2) {
        EXPECT_TRUE(line(kExampleLines[i]).starts_with("Client zu NET-IO ")) << kExampleLines[i];
        EXPECT_TRUE(line(kExampleLines[i + 1]).starts_with("NET-IO zu Client ")) << kExampleLines[i + 1];
    }
}

TEST(ReferenceText, OnlyExampleLinesHaveTabsAndNoLineHasLineBreaks) {
    for (std::size_t n = 1; n <= CommandReferenceLines.size(); ++n) {
        const auto text = line(n);
        if (!contains(kExampleLines, n)) {
            EXPECT_EQ(text.find('\t'), std::string_view::npos) << "line " << n;
        }
        EXPECT_EQ(text.find('\r'), std::string_view::npos) << "line " << n;
        EXPECT_EQ(text.find('\n'), std::string_view::npos) << "line " << n;
    }
}

TEST(ReferenceText, PageNameKeepsItsBlank) { EXPECT_TRUE(line(44).ends_with(":Seite 2")); }

TEST(ReferenceText, EmptyLinesAreExactlyTheSeparators) {
    for (std::size_t n = 1; n <= CommandReferenceLines.size(); ++n) {
        EXPECT_EQ(line(n).empty(), contains(kEmptyLines, n)) << "line " << n;
    }
}

// Whole UTF-8 characters, each one Windows-1252 has: a broken or foreign character would come
// back from the code page as "?".
TEST(ReferenceText, EveryCharacterIsWholeAndInTheBoardsCodePage) {
    for (std::size_t n = 1; n <= CommandReferenceLines.size(); ++n) {
        EXPECT_EQ(FitToWindows1252(line(n)), line(n)) << "line " << n;
    }
}

TEST(ReferenceText, ProseLinesAreTrimmedText) {
    for (auto n : kProseLines) {
        const auto text = line(n);
        SCOPED_TRACE("line " + std::to_string(n));
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text.front(), ' ');
        EXPECT_NE(text.back(), ' ');
        EXPECT_EQ(text.find("  "), std::string_view::npos);
    }
}

TEST(ReferenceText, ParagraphsEndWithFullStopUnlessContinued) {
    for (auto n : kProseLines) {
        EXPECT_EQ(line(n).ends_with('.'), !contains(kCutLines, n)) << "line " << n;
    }
    for (auto n : kCutLines) {
        // The continuation is prose, not a blank or an example.
        EXPECT_TRUE(contains(kProseLines, n + 1) || n + 1 == 10) << "line " << n;
    }
    EXPECT_EQ(line(10), "zu vermeiden.");
}

TEST(ReferenceText, UmlautsAreStoredAsUtf8) {
    EXPECT_EQ(line(1).substr(8, 4), "f\xC3\xBCr");
    EXPECT_NE(line(33).find("\xC3\xA4"), std::string_view::npos);
}

}  // namespace
