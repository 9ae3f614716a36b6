#include "frame_cut.h"
#include "literal_cut.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

using literal::LiteralCut;
using Lines = std::vector<std::string>;

TEST(CutFrames, TheTableInBothModes) {
    struct Case {
        Lines log;
        std::string token;
        Lines before, after;
    } const cases[] = {
        {{"AB<02>CD<02>EF"}, "<02>", {"AB", "<02>CD", "<02>EF"}, {"AB<02>", "CD<02>", "EF"}},
        {{"AB<0", "2>CD"}, "<02>", {"AB", "<02>CD"}, {"AB<02>", "CD"}},
        {{"<02>AB<02>CD"}, "<02>", {"<02>AB", "<02>CD"}, {"<02>AB<02>", "CD"}},
        {{"AB<02>"}, "<02>", {"AB", "<02>"}, {"AB<02>", ""}},
        {{"X<02><02>AB"}, "<02>", {"X", "<02>", "<02>AB"}, {"X<02>", "<02>AB"}},
        {{"<02>A", "BC<03>", "<02>DE<03>"},
         "<02>",
         {"<02>ABC<03>", "<02>DE<03>"},
         {"<02>ABC<03><02>", "DE<03>"}},
        {{"<02>A", "BC<03>", "<02>DE<03>"},
         "<03>",
         {"<02>ABC", "<03><02>DE", "<03>"},
         {"<02>ABC<03>", "<02>DE<03>", ""}},
        {{"AB", "CD"}, "", {"ABCD"}, {"ABCD"}},
        {{}, "<02>", {""}, {""}},
        {{"aaa"}, "aa", {"a", "aa"}, {"aaa", ""}},
        {{"x<0d>y"}, "<0D>", {"x<0d>y"}, {"x<0d>y"}}, // matched case-sensitively
        {{"x<0d>y"}, "<0d>", {"x", "<0d>y"}, {"x<0d>", "y"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.log) + " token " + c.token);
        EXPECT_EQ(CutFrames(c.log, c.token, true), c.before);
        EXPECT_EQ(CutFrames(c.log, c.token, false), c.after);
    }
}

TEST(CutFrames, SameAsTheLiteralRuleOnRandomLogs) {
    std::mt19937 random(20261211);
    const std::string alphabet = "<02>a";
    auto text = [&](std::size_t maxLength) {
        std::string s(random() % (maxLength + 1), ' ');
        for (char& ch : s)
            ch = alphabet[random() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        Lines log(random() % 6);
        for (std::string& line : log)
            line = text(round % 3 == 0 ? 40 : 8);
        std::string token = text(4);
        bool before = random() % 2;
        ASSERT_EQ(CutFrames(log, token, before), LiteralCut(log, token, before))
            << testing::PrintToString(log) << " token " << token << " before " << before;
    }
}

TEST(CutFrames, LongLinesAndLongRunsWithoutATokenStayWhole) {
    // Enough text to make the cutter drop what it has cut off several times over.
    Lines log;
    for (int i = 0; i < 60; ++i)
        log.push_back(std::string(4999, 'a') + "<02>" + std::string(3000, 'b'));
    log.push_back(std::string(20000, 'z'));
    for (bool before : {true, false})
        EXPECT_EQ(CutFrames(log, "<02>", before), LiteralCut(log, "<02>", before));
    Lines pieces = CutFrames(log, "<none>", false);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].size(), 60u * 8003 + 20000);
}

} // namespace
