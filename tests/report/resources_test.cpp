// The shipped text resources, byte for byte where the report depends on them.

#include "report/data_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace quillar {
namespace {

using test::LoadResource;
using test::ReadResource;

TEST(ColonText, fiveGroupsThatAddAColon) {
    const std::string bytes = ReadResource("colonText");
    EXPECT_FALSE(bytes.ends_with("\n"));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 14);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), 14);
    const LineList lines = LoadLineList(bytes);
    ASSERT_EQ(lines.size(), 15u);
    const char* labels[] = {"Cranking Time", "Cranking Voltage", "LOADED", "Ripple", "CHARGING"};
    for (std::size_t g = 0; g < 5; ++g) {
        EXPECT_EQ(lines[3 * g], labels[g]);
        EXPECT_EQ(lines[3 * g + 1], std::string(labels[g]) + ":");
        EXPECT_EQ(lines[3 * g + 2], g == 4 ? "//end;" : "");
    }
}

TEST(Utf8Text, twentyGroupsInTableOrder) {
    const std::string bytes = ReadResource("utf8Text");
    EXPECT_FALSE(bytes.starts_with("\xEF\xBB\xBF")) << "no byte-order mark";
    EXPECT_FALSE(bytes.ends_with("\n"));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 99);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), 99);
    const LineList lines = LoadLineList(bytes);
    ASSERT_EQ(lines.size(), 100u);

    for (std::size_t g = 0; g < 20; ++g) {
        const std::string fifth = g == 17 ? " " : g == 19 ? " //end;" : "";
        EXPECT_EQ(lines[5 * g + 4], fifth) << "group " << g + 1;
    }
    // NO-LOADED must be translated before the LOADED inside it.
    EXPECT_EQ(lines[5 * 14], "NO-LOADED");
    EXPECT_EQ(lines[5 * 15], "LOADED");
    // Texts whose exact bytes are easy to lose.
    EXPECT_EQ(lines[5 * 5 + 3], "시험*후에*충전");
    EXPECT_EQ(lines[5 * 7], "REPLACE  BATTERY");
    EXPECT_EQ(lines[5 * 18 + 1], "偏高 ");
}

TEST(HtmKD520, templateHoldsEveryPlaceholderOnce) {
    const std::string bytes = ReadResource("htmKD520");
    const LineList lines = LoadLineList(bytes);
    ASSERT_EQ(lines.size(), 136u);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 136);
    EXPECT_TRUE(bytes.ends_with("</html>\r\n"));
    EXPECT_EQ(bytes.find("\r\n\r\n"), std::string::npos);
    EXPECT_EQ(lines.front(), "<!DOCTYPE html>");
    EXPECT_NE(bytes.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(bytes.find("<title></title>"), std::string::npos);
    for (const char* name :
         {"RQSJ", "DCCSJG", "DCLX", "RCCA", "MCCA", "DCDY", "NBDZ", "CDZT", "ZT1", "JKZT", "ZT2",
          "QDCSJG", "QDDY", "QDSJ", "CDCSJG", "YZDY", "KZDY", "WBDY"}) {
        const std::string placeholder = "<!--" + std::string(name) + "-->";
        const std::size_t at = bytes.find(placeholder);
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_EQ(bytes.find(placeholder, at + 1), std::string::npos) << name;
    }
    EXPECT_NE(bytes.find("src=\"<!--ZT1-->\""), std::string::npos);
    EXPECT_NE(bytes.find("Date & Time"), std::string::npos);
}

TEST(BuiltinResource, unknownNameIsAnError) {
    EXPECT_THROW(BuiltinResource("colontext"), std::out_of_range);
    EXPECT_THROW(BuiltinResource(""), std::out_of_range);
}

} // namespace
} // namespace quillar

namespace quillar {
namespace {

TEST(InstalledDataFolder, isShareQuillarBesideTheProgramsFolder) {
    EXPECT_EQ(InstalledDataFolder("/usr/bin/"), "/usr/share/quillar/");
    EXPECT_EQ(InstalledDataFolder("/opt/quillar/bin"), "/opt/quillar/share/quillar/");
    EXPECT_EQ(InstalledDataFolder("/usr/local/bin//"), "/usr/local/share/quillar/");
    EXPECT_EQ(InstalledDataFolder("C:\\Quillar\\bin\\"), "C:\\Quillar\\share/quillar/");
    EXPECT_EQ(InstalledDataFolder("bin/"), "share/quillar/");
}

} // namespace
} // namespace quillar
