#include "report/device_chars.h"
#include "report/phrase_tables.h"
#include "report/report_pages.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace quillar {
namespace {

constexpr const char* Placeholders[] = {"RQSJ", "DCCSJG", "DCLX",   "RCCA", "MCCA", "DCDY",
                                        "NBDZ", "CDZT",   "ZT1",    "JKZT", "ZT2",  "QDCSJG",
                                        "QDDY", "QDSJ",   "CDCSJG", "YZDY", "KZDY", "WBDY"};

// The worked printout of a KD520: battery, cranking and charging test.
const std::string Kd520Printout = test::Printout({
    "Battery Test",
    "Healthy: 100% 505CCA",
    "Charge: 90% 12.54V",
    "Internal R= 5.92m\xEA",
    "Rated: 480 A",
    "Select Input: GB",
    "GOOD BATTERY",
    "",
    "Cranking Test",
    "Cranking Time 2000mS",
    "Cranking Voltage NORMAL",
    "10.00V",
    "",
    "Charging Test",
    "loaded 13.70",
    "Unloaded 14.70",
    "Ripple 10mV",
    "CHARGING NORMAL",
});

class TemplatePageTest : public ::testing::Test {
protected:
    // The text as the poll cycle leaves it after the bytes have arrived.
    std::string Receive(std::string_view bytes, std::int32_t language = 0) const {
        std::string received = TranslateDeviceBytes(bytes, "KD520", language);
        ApplyPhraseTables(received, colon_, languages_, language);
        return received;
    }

    std::string Build(std::string_view received, const LineList& lines,
                      std::int32_t language = 0) const {
        PageInputs in;
        in.deviceModel = "KD520";
        in.currentLanguage = language;
        in.languageTable = &languages_;
        in.receivedText = received;
        in.templateLines = &lines;
        in.executableDir = "/opt/quillar/";
        in.dateText = "7 December 2026 09:05";
        return BuildTemplatePage(in);
    }

    // Fills a probe template of one "NAME=<!--NAME-->" line per placeholder and
    // reads back what each placeholder became.
    std::map<std::string, std::string> Fields(std::string_view received,
                                              std::int32_t language = 0) const {
        LineList probe;
        for (const char* name : Placeholders) {
            probe.push_back(std::string(name) + "=<!--" + name + "-->");
        }
        std::map<std::string, std::string> fields;
        for (const std::string& line : LoadLineList(Build(received, probe, language))) {
            const std::size_t eq = line.find('=');
            fields[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return fields;
    }

    static std::string Kept(const std::string& name) { return "<!--" + name + "-->"; }

    const LineList colon_ = test::LoadResource("colonText");
    const LineList languages_ = test::LoadResource("utf8Text");
    const LineList template_ = test::LoadResource("htmKD520");
};

TEST_F(TemplatePageTest, workedPrintoutFillsEveryField) {
    const auto f = Fields(Receive(Kd520Printout));
    const std::map<std::string, std::string> expected = {
        {"RQSJ", "7 December 2026 09:05"},
        {"DCCSJG", "GOOD"},
        {"DCLX", "GB"},
        {"RCCA", "480 A"},
        {"MCCA", "505CCA"},
        {"DCDY", "12.54V"},
        {"NBDZ", "5.92m&#937"},
        {"CDZT", "90%"},
        {"ZT1", "file:///opt/quillar/9.png"},
        {"JKZT", "100%"},
        {"ZT2", "file:///opt/quillar/10.png"},
        {"QDCSJG", "NORMAL"},
        {"QDDY", "10.00V"},
        {"QDSJ", "2000mS"},
        {"CDCSJG", "NORMAL"},
        {"YZDY", "13.70V"},
        {"KZDY", "14.70V"},
        {"WBDY", "10mV"},
    };
    EXPECT_EQ(f, expected);
}

TEST_F(TemplatePageTest, workedPrintoutInTheShippedTemplate) {
    const std::string page = Build(Receive(Kd520Printout), template_);
    EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\r\n"));
    EXPECT_EQ(page.find("<!--"), std::string::npos) << "a placeholder was left";
    EXPECT_NE(page.find("Battery Type" + test::Repeat(test::Ellipsis, 10) + "GB</div>"),
              std::string::npos);
    EXPECT_NE(page.find("Internal Resistance" + test::Repeat(test::Ellipsis, 5) + "5.92m&#937"),
              std::string::npos);
    EXPECT_NE(page.find("Loaded" + test::Repeat(test::Ellipsis, 10) + "13.70V"), std::string::npos);
    EXPECT_NE(page.find("src=\"file:///opt/quillar/10.png\""), std::string::npos);
    EXPECT_NE(page.find("SOC(State of Charge): 90%"), std::string::npos);
    // The printout itself never appears in this page.
    EXPECT_EQ(page.find("Battery Test<br>"), std::string::npos);
}

TEST_F(TemplatePageTest, emptyTextFillsOnlyTheDate) {
    const auto f = Fields("");
    EXPECT_EQ(f.at("RQSJ"), "7 December 2026 09:05");
    for (const char* name : Placeholders) {
        if (std::string_view(name) != "RQSJ") {
            EXPECT_EQ(f.at(name), Kept(name));
        }
    }
    std::string expected = test::ReadResource("htmKD520");
    expected.replace(expected.find("<!--RQSJ-->"), 11, "7 December 2026 09:05");
    EXPECT_EQ(Build("", template_), expected);
}

TEST_F(TemplatePageTest, otherLabelsLeaveTheirPlaceholders) {
    const auto f = Fields(Receive(test::Printout(
        {"SOH: 100% 505CCA", "SOC: 90% 12.54V", "LOADED 13.70V", "NO-LOADED 14.70V"})));
    for (const char* name : {"MCCA", "DCDY", "CDZT", "JKZT", "ZT1", "ZT2", "YZDY", "KZDY"}) {
        EXPECT_EQ(f.at(name), Kept(name));
    }
}

TEST_F(TemplatePageTest, loadedIsNotTakenFromInsideUnloaded) {
    auto f = Fields(Receive(test::Printout({"Unloaded 14.70", "loaded 13.70"})));
    EXPECT_EQ(f.at("YZDY"), "13.70V");
    EXPECT_EQ(f.at("KZDY"), "14.70V");
    f = Fields(Receive(test::Printout({"Unloaded 14.70", "Overloaded 9", "Ripple 10mV"})));
    EXPECT_EQ(f.at("YZDY"), Kept("YZDY"));
    EXPECT_EQ(f.at("KZDY"), "14.70V");
    // At the very start of the text there is no byte before the label.
    EXPECT_EQ(Fields("loaded 12.9<br>").at("YZDY"), "12.9V");
    EXPECT_EQ(Fields("x:loaded 12.9<br>").at("YZDY"), "12.9V");
}

TEST_F(TemplatePageTest, placeholderMarksSentByTheTesterAreNotExpanded) {
    // A value holding the next field's mark stays as received: expanding it
    // again would let every later field multiply the page.
    std::string rated = "Rated: 480 ";
    for (int i = 0; i < 50; ++i) {
        rated += "<!--MCCA-->";
    }
    const std::string received = Receive(test::Printout({rated, "Healthy: 100% 505CCA"}));
    const auto f = Fields(received);
    EXPECT_EQ(f.at("RCCA").find("505CCA"), std::string::npos);
    EXPECT_EQ(f.at("MCCA"), "505CCA");
    const std::string page = Build(received, template_);
    EXPECT_LT(page.size(), template_.size() * 200 + received.size() * 2);
}

TEST_F(TemplatePageTest, voltSuffixOnlyWhenTheUnitIsMissing) {
    EXPECT_EQ(Fields(Receive(test::Printout({"loaded 13.70V"}))).at("YZDY"), "13.70V");
    EXPECT_EQ(Fields(Receive(test::Printout({"loaded 13.70v"}))).at("YZDY"), "13.70v");
    EXPECT_EQ(Fields(Receive(test::Printout({"loaded ", "Unloaded"}))).at("YZDY"), "");
}

TEST_F(TemplatePageTest, unfinishedLineGivesAnEmptyValueUntilItsBreakArrives) {
    std::string received = Receive("Rated: 480");
    EXPECT_EQ(Fields(received).at("RCCA"), "");
    received += Receive(" A\r\nCranking Voltage NORMAL");
    EXPECT_EQ(Fields(received).at("RCCA"), "480 A");
    // "Cranking Voltage" without its line end yet: no value line below it.
    EXPECT_EQ(Fields(received).at("QDCSJG"), "");
    EXPECT_EQ(Fields(received).at("QDDY"), "");
    received += Receive("\r\n10.0");
    EXPECT_EQ(Fields(received).at("QDCSJG"), "NORMAL");
    EXPECT_EQ(Fields(received).at("QDDY"), "");
    received += Receive("0V\r\n");
    EXPECT_EQ(Fields(received).at("QDDY"), "10.00V");
}

TEST_F(TemplatePageTest, oneCharacterAfterTheLabelIsSkipped) {
    EXPECT_EQ(Fields(Receive(test::Printout({"Cranking Time 2000mS"}))).at("QDSJ"), "2000mS");
    EXPECT_EQ(Fields(Receive(test::Printout({"Cranking Time: 2000mS"}))).at("QDSJ"), "2000mS");
    EXPECT_EQ(Fields(Receive(test::Printout({"Select Input:GB"}))).at("DCLX"), "B");
    // The label at the very end of the text: nothing follows the skip.
    EXPECT_EQ(Fields("Select Input:").at("DCLX"), "");
    EXPECT_EQ(Fields("Select Input: ").at("DCLX"), "");
}

TEST_F(TemplatePageTest, percentWithoutItsSign) {
    const auto f = Fields(Receive(test::Printout({"Healthy: 100 505CCA", "Charge: 90% 12.54V"})));
    EXPECT_EQ(f.at("MCCA"), "12.54V");
    EXPECT_EQ(f.at("JKZT"), "100 505CCA<br>Charge: 90%");
    EXPECT_EQ(f.at("ZT2"), Kept("ZT2"));
    EXPECT_EQ(f.at("ZT1"), "file:///opt/quillar/9.png");
}

TEST_F(TemplatePageTest, stateImageNeedsAWholeNumber) {
    auto image = [this](std::string_view charge) {
        return Fields(Receive(test::Printout({"Charge: " + std::string(charge) + " 12.54V"})))
            .at("ZT1");
    };
    EXPECT_EQ(image("9.5%"), Kept("ZT1"));
    EXPECT_EQ(image("0%"), "file:///opt/quillar/0.png");
    EXPECT_EQ(image("9%"), "file:///opt/quillar/0.png");
    EXPECT_EQ(image("99%"), "file:///opt/quillar/9.png");
    EXPECT_EQ(image("+55%"), "file:///opt/quillar/5.png");
    EXPECT_EQ(image("-15%"), "file:///opt/quillar/-1.png");
    EXPECT_EQ(image("%"), Kept("ZT1"));
    EXPECT_EQ(image("-%"), Kept("ZT1"));
    EXPECT_EQ(image("+-5%"), Kept("ZT1"));
    EXPECT_EQ(image("2147483648%"), Kept("ZT1"));
    EXPECT_EQ(image("2147483647%"), "file:///opt/quillar/214748364.png");
    EXPECT_EQ(image("0x10%"), Kept("ZT1"));
}

TEST_F(TemplatePageTest, batteryVerdictIsTheTextBeforeBatteryOnItsLine) {
    EXPECT_EQ(Fields("xx<br>Poor BATTERY<br>").at("DCCSJG"), "Poor");
    EXPECT_EQ(Fields(Receive(test::Printout({"Battery Test", "REPLACE  BATTERY"}))).at("DCCSJG"),
              "REPLACE");
    EXPECT_EQ(Fields("GOOD BATTERY<br>").at("DCCSJG"), "GOOD");
    EXPECT_EQ(Fields("<br>BATTERY").at("DCCSJG"), "");
}

TEST_F(TemplatePageTest, latestBatteryWinsWhenTwoAreReceivedBeforeClear) {
    // A good battery, then a worn one on the same report: every field shows
    // the second; a label printed once only (no "Select Input:" the second
    // time) keeps the value it has.
    const std::string second = test::Printout({
        "Battery Test",
        "Healthy: 45% 216CCA",
        "Charge: 62% 12.21V",
        "Internal R= 11.40m\xEA",
        "Rated: 540 A",
        "REPLACE  BATTERY",
        "",
        "Cranking Test",
        "Cranking Time 3100mS",
        "Cranking Voltage LOW",
        "8.90V",
        "",
        "Charging Test",
        "Unloaded 13.40",
        "loaded 13.10",
        "Ripple 140mV",
        "CHARGING LOW",
    });
    const std::map<std::string, std::string> expected = {
        {"RQSJ", "7 December 2026 09:05"},
        {"DCCSJG", "REPLACE"},
        {"DCLX", "GB"},
        {"RCCA", "540 A"},
        {"MCCA", "216CCA"},
        {"DCDY", "12.21V"},
        {"NBDZ", "11.40m&#937"},
        {"CDZT", "62%"},
        {"ZT1", "file:///opt/quillar/6.png"},
        {"JKZT", "45%"},
        {"ZT2", "file:///opt/quillar/4.png"},
        {"QDCSJG", "LOW"},
        {"QDDY", "8.90V"},
        {"QDSJ", "3100mS"},
        {"CDCSJG", "LOW"},
        {"YZDY", "13.10V"},
        {"KZDY", "13.40V"},
        {"WBDY", "140mV"},
    };
    EXPECT_EQ(Fields(Receive(Kd520Printout + second)), expected);
    // While the second battery's lines arrive, its fields fill one by one.
    const auto partial = Fields(Receive(Kd520Printout + test::Printout({"Healthy: 45% 216CCA"})));
    EXPECT_EQ(partial.at("JKZT"), "45%");
    EXPECT_EQ(partial.at("MCCA"), "216CCA");
    EXPECT_EQ(partial.at("CDZT"), "90%");
}

TEST_F(TemplatePageTest, everyLanguageShowsEveryValue) {
    const auto english = Fields(Receive(Kd520Printout));
    // Words the tables translate appear translated; numbers and units as in English.
    const std::map<std::int32_t, std::map<std::string, std::string>> translated = {
        {1, {{"DCCSJG", "電池良好"}, {"QDCSJG", "正常"}, {"CDCSJG", "正常"}}},
        {2, {{"DCCSJG", "バッテリー良好"}, {"QDCSJG", "正常"}, {"CDCSJG", "正常"}}},
        {3, {{"DCCSJG", "좋은 배터리"}, {"QDCSJG", "표준"}, {"CDCSJG", "표준"}}},
    };
    for (const auto& [language, words] : translated) {
        const auto f = Fields(Receive(Kd520Printout, language), language);
        for (const auto& [name, value] : english) {
            const auto word = words.find(name);
            EXPECT_EQ(f.at(name), word == words.end() ? value : word->second)
                << name << " in language " << language;
        }
        // A replaced battery is a verdict too, and the latest one counts.
        const auto worn = Fields(
            Receive(Kd520Printout + test::Printout({"Battery Test", "REPLACE  BATTERY"}), language),
            language);
        EXPECT_EQ(worn.at("DCCSJG"), TranslatePhrases("REPLACE  BATTERY", languages_, language));
        // "GOOD-RECHARGE" reads "電池良好,請充電" in Chinese: it holds the
        // words of "GOOD BATTERY" but is not that verdict.
        const auto recharge =
            Fields(Receive(test::Printout({"GOOD-RECHARGE"}), language), language);
        EXPECT_EQ(recharge.at("DCCSJG"), Kept("DCCSJG"));
    }
    // Without the table (or in the other languages) nothing is looked up translated.
    EXPECT_EQ(Fields(Receive(Kd520Printout, 4), 4), english);
}

} // namespace
} // namespace quillar
