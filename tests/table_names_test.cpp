// The tables' spelling of names: which bytes table_name escapes, and that a
// joined field splits and decodes back into the names it was made of.
#include "bamcount/annotation.h"
#include "bamcount/annotation_lines.h"
#include "bamcount/table_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(TableNames, EscapeTheJoinersThePercentAndControlBytesOnly)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"ENSG00000185960", "ENSG00000185960"},
        {"8227@X(+)", "8227@X(%2B)"},              // a joiner inside an id
        {"a+b,c%d", "a%2Bb%2Cc%25d"},
        {"%2B", "%252B"},                           // a percent that looks like an escape
        {std::string("t\tn\nr\rz\0!", 9), "t%09n%0Ar%0Dz%00!"},
        {"\x01\x1f\x7f", "%01%1F%7F"},              // upper-case hex
        {"sp ace;semi=eq\"q'@()\xc3\xa9", "sp ace;semi=eq\"q'@()\xc3\xa9"}, // UTF-8 and punctuation kept
        {"", ""},
    };
    for (const auto& [text, spelt] : cases) {
        EXPECT_EQ(table_name(text), spelt) << text;
        EXPECT_EQ(percent_decoded(spelt), text) << spelt;
    }
    EXPECT_EQ(piece_suffix("chrX", '+'), "@chrX(plus)");
    EXPECT_EQ(piece_suffix("X+1", '-'), "@X%2B1(minus)");
    EXPECT_EQ(piece_suffix("c", '.'), "@c(unstranded)");

    // Joined, then split at the joiner and decoded: the same names.
    const std::vector<std::string> names = {"8227@X(+)", "438@X(+)", "a,b", "%"};
    for (const char joiner : {'+', ','}) {
        std::vector<std::string> back = split_list(joined_table_names(names, joiner), joiner);
        for (std::string& name : back) name = percent_decoded(name);
        EXPECT_EQ(back, names) << joiner;
    }
}
