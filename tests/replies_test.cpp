// The board's replies read as data: the reference's own examples are the oracle, then replies
// that must read as unknown (an error, a short or malformed one, another request's), never as a
// wrong value.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "board/replies.h"
#include "ui/reference_text.h"

namespace {

// The reference's example reply to `request`, as the board sends it (with its line end).
std::string ExampleReply(std::string_view request)
{
    constexpr std::string_view Request = "Client zu NET-IO \t", Reply = "NET-IO zu Client \t";
    for (std::size_t i = 0; i + 1 < CommandReferenceLines.size(); ++i)
        if (CommandReferenceLines[i] == std::string(Request) + std::string(request))
            return std::string(CommandReferenceLines[i + 1].substr(Reply.size())) + "\r\n";
    ADD_FAILURE() << "no example for " << request;
    return {};
}

TEST(Replies, TheReferencesExamplesReadAsTheReferenceExplainsThem)
{
    EXPECT_EQ(ParseCountReply(ExampleReply("Q")), 5);
    EXPECT_EQ(ParseCountReply("Q:0A\r\n"), 10);          // the other example: hexadecimal
    const std::optional<EntryInfo> entry = ParseEntryReply(ExampleReply("N01"), 1);
    ASSERT_TRUE(entry);
    EXPECT_FALSE(entry->switchable);                         // "I": an input
    EXPECT_EQ(entry->page, 4);                            // "42": place 2 on page 4
    EXPECT_EQ(entry->place, 2);
    EXPECT_EQ(entry->name, "Test1");
    EXPECT_EQ(ParsePageNameReply(ExampleReply("S1"), 1), "Seite 2");   // its blank kept
    EXPECT_EQ(ParseToggleReply(ExampleReply("T02"), 2), true);
    using States = std::vector<std::optional<bool>>;
    EXPECT_EQ(ParseStatesReply(ExampleReply("P1"), 1, 8), (States{true, true, false, true, false, true, false, false}));
    // Its fixed block of eight values on a page of fewer entries: the first are theirs; on a page
    // of more, the entries past the block stay unknown.
    EXPECT_EQ(ParseStatesReply(ExampleReply("P1"), 1, 3), (States{true, true, false}));
    EXPECT_EQ(ParseStatesReply(ExampleReply("P1"), 1, 10),
              (States{true, true, false, true, false, true, false, false, std::nullopt, std::nullopt}));
    // The requests as the board takes them: N's id hexadecimal, T's decimal.
    EXPECT_EQ(EntryRequest(26), "N1A");
    EXPECT_EQ(ToggleRequest(2), "T02");
    EXPECT_EQ(ToggleRequest(26), "T26");
}

TEST(Replies, WhatIsNotOfTheFormReadsAsUnknown)
{
    struct Case {
        std::string_view raw;
        char letter;   // Q, N, S, P or T, asked for id or page 1 (P: of 2 entries)
    };
    constexpr Case cases[] = {
        {"", 'Q'}, {"Q:", 'Q'}, {"Q:ZZ", 'Q'}, {"Q:0A1", 'Q'}, {"x:ERR\r\nQ:0A", 'Q'}, {"Q0A", 'Q'},
        {"N01:ERR", 'N'}, {"N01:X42Test", 'N'}, {"N01:I4", 'N'}, {"N02:I42Test1", 'N'}, {"N1:I42Test1", 'N'},
        {"N01:IA2Test", 'N'}, {"ERR", 'N'},
        {"S1:ERR", 'S'}, {"S2:Garten", 'S'}, {"S1", 'S'},
        {"P1:", 'P'}, {"P1:00010", 'P'}, {"P1:0001000G", 'P'}, {"P1:ERR", 'P'}, {"P2:00010001", 'P'},
        {"T01:2", 'T'}, {"T01:", 'T'}, {"T1:1", 'T'}, {"T01:ERR", 'T'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.raw));
        switch (c.letter) {
        case 'Q': EXPECT_FALSE(ParseCountReply(c.raw)); break;
        case 'N': EXPECT_FALSE(ParseEntryReply(c.raw, 1)); break;
        case 'S': EXPECT_FALSE(ParsePageNameReply(c.raw, 1)); break;
        case 'P': EXPECT_FALSE(ParseStatesReply(c.raw, 1, 2)); break;
        case 'T': EXPECT_FALSE(ParseToggleReply(c.raw, 1)); break;
        }
    }
    // A name keeps its blanks and its letters; an empty name is a name.
    EXPECT_EQ(ParseEntryReply("N01:O11Lampe Küche \r\n", 1)->name, "Lampe Küche ");
    EXPECT_EQ(ParseEntryReply("N01:O11", 1)->name, "");
}

}  // namespace
