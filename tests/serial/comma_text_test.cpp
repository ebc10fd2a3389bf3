// The comma text of a port list: written, read back, and the two in agreement.
#include "serial/comma_text.h"

#include <gtest/gtest.h>

#include <random>

namespace quillar {
namespace {

using Names = std::vector<std::string>;

TEST(CommaTextTest, JoinsWithCommasAndQuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(JoinCommaText({}), "");
    EXPECT_EQ(JoinCommaText({""}), "\"\"");
    EXPECT_EQ(JoinCommaText({"/dev/ttyUSB0"}), "/dev/ttyUSB0");
    EXPECT_EQ(JoinCommaText({"/dev/ttyS1", "/dev/ttyS1"}), "/dev/ttyS1,/dev/ttyS1");
    EXPECT_EQ(JoinCommaText({"a", ""}), "a,");
    EXPECT_EQ(JoinCommaText({"", "b"}), ",b");
    EXPECT_EQ(JoinCommaText({"a", "", "b"}), "a,,b");
    EXPECT_EQ(JoinCommaText({"", ""}), ",");
    EXPECT_EQ(JoinCommaText({"my port"}), "\"my port\"");
    EXPECT_EQ(JoinCommaText({"a,b", "c"}), "\"a,b\",c");
    EXPECT_EQ(JoinCommaText({"say \"hi\""}), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(JoinCommaText({"x\"y"}), "\"x\"\"y\"");
    EXPECT_EQ(JoinCommaText({std::string("nul\0", 4)}), std::string("\"nul\0\"", 6));
    EXPECT_EQ(JoinCommaText({"tab\t"}), "\"tab\t\"");
    EXPECT_EQ(JoinCommaText({"\x1f"}), "\"\x1f\"");
    // Past the control range nothing is quoted: DEL and 8-bit bytes (which a
    // signed char would put below 32) stay bare.
    EXPECT_EQ(JoinCommaText({"\x7f"}), "\x7f");
    EXPECT_EQ(JoinCommaText({"\xa0\xff", "!"}), "\xa0\xff,!");
}

TEST(CommaTextTest, ReadsNamesBareQuotedAndEmpty) {
    EXPECT_EQ(SplitCommaText(""), Names{});
    EXPECT_EQ(SplitCommaText(" \t\r\n"), Names{});
    EXPECT_EQ(SplitCommaText("\"\""), Names{""});
    EXPECT_EQ(SplitCommaText("/dev/ttyS0,/dev/ttyUSB0"), (Names{"/dev/ttyS0", "/dev/ttyUSB0"}));
    // Empty names: between two commas, before the first, after the last.
    EXPECT_EQ(SplitCommaText("a,,b"), (Names{"a", "", "b"}));
    EXPECT_EQ(SplitCommaText(",b"), (Names{"", "b"}));
    EXPECT_EQ(SplitCommaText("a,"), (Names{"a", ""}));
    EXPECT_EQ(SplitCommaText(","), (Names{"", ""}));
    // Quotes keep blanks, commas and doubled quotes inside one name.
    EXPECT_EQ(SplitCommaText("COM1,\"/tmp/x/my tester\""), (Names{"COM1", "/tmp/x/my tester"}));
    EXPECT_EQ(SplitCommaText("\"a,b\",c"), (Names{"a,b", "c"}));
    EXPECT_EQ(SplitCommaText("\"say \"\"hi\"\"\""), Names{"say \"hi\""});
    EXPECT_EQ(SplitCommaText(std::string("\"nul\0\"", 6)), Names{std::string("nul\0", 4)});
    EXPECT_EQ(SplitCommaText("\xa0\xff,!"), (Names{"\xa0\xff", "!"}));
    // Text written by hand: blanks around names and commas are skipped, blanks
    // alone separate, a quote that is never closed runs to the end, and a quote
    // inside a bare name is part of it.
    EXPECT_EQ(SplitCommaText("  a ,\t b  "), (Names{"a", "b"}));
    EXPECT_EQ(SplitCommaText("a b"), (Names{"a", "b"}));
    EXPECT_EQ(SplitCommaText("a, "), Names{"a"});
    EXPECT_EQ(SplitCommaText("\"a\"b,c"), (Names{"a", "b", "c"}));
    EXPECT_EQ(SplitCommaText("\"open, end"), Names{"open, end"});
    EXPECT_EQ(SplitCommaText("x\"y"), Names{"x\"y"});
    EXPECT_EQ(SplitCommaText(std::string("a\0b", 3)), Names{std::string("a\0b", 3)});
}

TEST(CommaTextTest, ReadingGivesBackWhatWasWritten) {
    // Names of bytes that matter to the rule, and any others.
    const std::string alphabet = std::string("ab ,\"\t\0\x1f\x20\x21\x7f\x80\xff", 14);
    std::mt19937 random(20261208);
    std::uniform_int_distribution<std::size_t> count(0, 5), length(0, 6),
        byte(0, alphabet.size() - 1);
    for (int round = 0; round < 20000; ++round) {
        Names names(count(random));
        for (std::string& name : names)
            for (std::size_t n = length(random); n > 0; --n)
                name += alphabet[byte(random)];
        const std::string text = JoinCommaText(names);
        ASSERT_EQ(SplitCommaText(text), names) << "text: " << text;
    }
}

} // namespace
} // namespace quillar
