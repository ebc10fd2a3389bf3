#include "report/line_list.h"

#include <gtest/gtest.h>

namespace quillar {
namespace {

TEST(LoadLineList, splitsAtEveryKindOfLineEnd) {
    EXPECT_EQ(LoadLineList("a\r\nb\rc\nd"), (LineList{"a", "b", "c", "d"}));
    // LF CR is two line ends, with an empty line between them.
    EXPECT_EQ(LoadLineList("a\n\rb"), (LineList{"a", "", "b"}));
    EXPECT_EQ(LoadLineList("a\r\n\r\nb"), (LineList{"a", "", "b"}));
}

TEST(LoadLineList, lineEndAtTheEndOpensNoFurtherLine) {
    EXPECT_EQ(LoadLineList("a\r\n"), (LineList{"a"}));
    EXPECT_EQ(LoadLineList("a\r\n\r\n"), (LineList{"a", ""}));
    EXPECT_EQ(LoadLineList("\r\n"), (LineList{""}));
    EXPECT_EQ(LoadLineList("a\r"), (LineList{"a"}));
    EXPECT_TRUE(LoadLineList("").empty());
}

TEST(LoadLineList, keepsEveryByteValue) {
    const std::string bytes("x\0y\xFF\r\n\x85 ", 8);
    const LineList lines = LoadLineList(bytes);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string("x\0y\xFF", 4));
    EXPECT_EQ(lines[1], "\x85 ");
}

} // namespace
} // namespace quillar
