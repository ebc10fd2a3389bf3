#include "report/phrase_tables.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace quillar {
namespace {

TEST(SubstituteAll, leftToRightWithoutOverlapOrRescan) {
    EXPECT_EQ(SubstituteAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(SubstituteAll("abc", "b", "bb"), "abbc");
    EXPECT_EQ(SubstituteAll("abab", "ab", "ab"), "abab");
    EXPECT_EQ(SubstituteAll("xaaay", "a", "aa"), "xaaaaaay");
    EXPECT_EQ(SubstituteAll("aXbXc", "X", "<br>"), "a<br>b<br>c");
}

TEST(SubstituteAll, emptyInputsAndDeletion) {
    EXPECT_EQ(SubstituteAll("", "a", "b"), "");
    EXPECT_EQ(SubstituteAll("abc", "", "x"), "abc");
    EXPECT_EQ(SubstituteAll("90%", "%", ""), "90");
    EXPECT_EQ(SubstituteAll("%%", "%", ""), "");
    EXPECT_EQ(SubstituteAll("Case", "case", "x"), "Case");
}

TEST(SubstituteAll, keepsEmbeddedNulBytes) {
    const std::string value("a\0b\0", 4);
    EXPECT_EQ(SubstituteAll(value, std::string("\0", 1), "-"), "a-b-");
}

class ApplyPhraseTablesTest : public ::testing::Test {
protected:
    std::string Apply(std::string text, std::int32_t language) {
        ApplyPhraseTables(text, colon_, languages_, language);
        return text;
    }
    const LineList colon_ = test::LoadResource("colonText");
    const LineList languages_ = test::LoadResource("utf8Text");
};

TEST_F(ApplyPhraseTablesTest, fixUpRunsForEveryLanguage) {
    for (std::int32_t language : {0, 1, 6, 11}) {
        EXPECT_EQ(Apply("Sto-red: 3<br>", language), "Stored: 3<br>") << language;
    }
}

TEST_F(ApplyPhraseTablesTest, labelsGainTheirColonOnce) {
    std::string text = "Cranking Time<br>";
    for (int call = 0; call < 3; ++call) {
        ApplyPhraseTables(text, colon_, languages_, 0);
        EXPECT_EQ(text, "Cranking Time:<br>") << "call " << call;
    }
    EXPECT_EQ(Apply("Ripple: 10mV<br>", 0), "Ripple: 10mV<br>");
    EXPECT_EQ(Apply("NO-LOADED     14.70V<br>", 0), "NO-LOADED:     14.70V<br>");
    EXPECT_EQ(Apply("CHARGING NORMAL<br>CHARGING: HIGH<br>", 0),
              "CHARGING: NORMAL<br>CHARGING: HIGH<br>");
}

TEST_F(ApplyPhraseTablesTest, labelSplitAcrossTwoArrivals) {
    std::string text = "Cranking Ti";
    ApplyPhraseTables(text, colon_, languages_, 0);
    EXPECT_EQ(text, "Cranking Ti");
    text += "me  2000mS<br>";
    ApplyPhraseTables(text, colon_, languages_, 0);
    EXPECT_EQ(text, "Cranking Time:  2000mS<br>");
}

TEST_F(ApplyPhraseTablesTest, colonSurvivesTranslation) {
    EXPECT_EQ(Apply("Cranking Time  2000mS", 1), "起動時間:  2000mS");
    EXPECT_EQ(Apply("NO-LOADED     14.70V", 1), "空載電壓:     14.70V");
    EXPECT_EQ(Apply("LOADED 13.70V", 3), "부하 전압: 13.70V");
}

TEST_F(ApplyPhraseTablesTest, translatesOnlyChineseJapaneseAndKorean) {
    EXPECT_EQ(Apply("Internal R=  5.54m", 2), "R=  5.54m");
    EXPECT_EQ(Apply("GOOD BATTERY<br>", 1), "電池良好<br>");
    EXPECT_EQ(Apply("REPLACE  BATTERY", 3), "배터리 교체");
    EXPECT_EQ(Apply("HIGH", 1), "偏高 ");
    for (std::int32_t language : {0, 4, 5, 6, 7, 8, 9, 10, 11, 12, -1}) {
        EXPECT_EQ(Apply("Battery Test<br>Ripple 10mV", language), "Battery Test<br>Ripple: 10mV")
            << language;
    }
}

TEST_F(ApplyPhraseTablesTest, translatedTextIsStableUnderRepeatedCalls) {
    const std::string once = Apply(
        "Battery Test<br>GOOD-RECHARGE<br>CHARGE & RETEST<br>Charging Test<br>NO-LOADED 14.7<br>"
        "LOADED 13.7<br>Ripple 10mV<br>CHARGING LOW<br>NO-OUTPUT<br>",
        2);
    EXPECT_EQ(once, "バッテリーテスト<br>要充電<br>再テスト<br>充電システム診断<br>無負荷: 14.7<br>"
                    "負荷電圧: 13.7<br>波形: 10mV<br>充電電圧: 低い<br>出力電圧なし<br>");
    EXPECT_EQ(Apply(once, 2), once);
}

TEST_F(ApplyPhraseTablesTest, incompleteLastGroupsAreIgnored) {
    LineList colon = colon_;
    colon.pop_back(); // 14 lines: the "CHARGING" group is incomplete
    LineList languages = languages_;
    languages.pop_back(); // 99 lines: the "NO-OUTPUT" group is incomplete
    std::string text = "CHARGING Ripple NO-OUTPUT HIGH";
    ApplyPhraseTables(text, colon, languages, 1);
    // "CHARGING" gains no colon but is still translated by its own group.
    EXPECT_EQ(text, "充電電壓 二極管紋波: NO-OUTPUT 偏高 ");
}

TEST_F(ApplyPhraseTablesTest, emptyTextStaysEmpty) {
    EXPECT_EQ(Apply("", 1), "");
    std::string text;
    ApplyPhraseTables(text, {}, {}, 1);
    EXPECT_EQ(text, "");
}

TEST(ApplyPhraseTables, replacementThatDoesNotExtendItsSearchIsPlainReplaceAll) {
    const LineList colon = {"OK", "fine", "", "aa", "a", ""};
    std::string text = "OK OK aaaa";
    ApplyPhraseTables(text, colon, {}, 0);
    EXPECT_EQ(text, "fine fine aa");
}

} // namespace
} // namespace quillar
