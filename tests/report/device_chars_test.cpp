#include "report/device_chars.h"

#include <gtest/gtest.h>

#include <set>

namespace quillar {
namespace {

std::string Bytes(std::initializer_list<unsigned char> codes) {
    return std::string(codes.begin(), codes.end());
}

TEST(CharTables, differOnlyAtThePolishAndNordicLetters) {
    std::set<int> differing;
    for (int code = 0; code < 256; ++code) {
        const char* central = CharTableCentral[code];
        const char* nordic = CharTableNordic[code];
        if ((central == nullptr) != (nordic == nullptr) ||
            (central != nullptr && std::string_view(central) != nordic)) {
            differing.insert(code);
        }
    }
    EXPECT_EQ(differing, (std::set<int>{0x86, 0x9D}));
    EXPECT_STREQ(CharTableCentral[0x86], "&#263");
    EXPECT_STREQ(CharTableNordic[0x86], "&#229");
    EXPECT_STREQ(CharTableCentral[0x9D], "&#321");
    EXPECT_STREQ(CharTableNordic[0x9D], "&#216");
}

TEST(AppendDeviceChar, lineEndsAndPassThrough) {
    std::string fragment = "x";
    AppendDeviceChar(0x0D, CharTableCentral, fragment);
    EXPECT_EQ(fragment, "x");
    AppendDeviceChar(0x0A, CharTableCentral, fragment);
    EXPECT_EQ(fragment, "x<br>");
    AppendDeviceChar(0x00, CharTableCentral, fragment);
    AppendDeviceChar(0x80, CharTableCentral, fragment);
    AppendDeviceChar(0xFF, CharTableCentral, fragment);
    AppendDeviceChar('&', CharTableCentral, fragment);
    EXPECT_EQ(fragment, std::string("x<br>\0\x80\xFF&", 9));
}

TEST(TranslateDeviceBytes, printoutLineWithOhmSign) {
    const std::string bytes = "Internal R= 5.92m" + Bytes({0xEA, 0x0D, 0x0A});
    EXPECT_EQ(TranslateDeviceBytes(bytes, "KD520", 0), "Internal R= 5.92m&#937<br>");
}

TEST(TranslateDeviceBytes, lineEndsOfEveryKind) {
    EXPECT_EQ(TranslateDeviceBytes("a\r\nb\nc\rd", "QM", 0), "a<br>b<br>cd");
}

TEST(TranslateDeviceBytes, referencesRunTogetherWithoutSemicolon) {
    EXPECT_EQ(TranslateDeviceBytes(Bytes({0x81, 0x81, '1'}), "QM", 0), "&#252&#2521");
}

TEST(TranslateDeviceBytes, tableFollowsModelAndLanguage) {
    const std::string bytes = Bytes({0x86, 0x9D});
    EXPECT_EQ(TranslateDeviceBytes(bytes, "KD318", 6), "&#263&#321");
    for (std::int32_t language : {0, 1, 5, 7, 11, -1}) {
        EXPECT_EQ(TranslateDeviceBytes(bytes, "KD318", language), "&#229&#216") << language;
    }
    for (std::int32_t language : {0, 6}) {
        EXPECT_EQ(TranslateDeviceBytes(bytes, "KD520", language), "&#263&#321");
        EXPECT_EQ(TranslateDeviceBytes(bytes, "QM", language), "&#263&#321");
    }
}

TEST(TranslateDeviceBytes, unmappedHighBytesAndControlsPassUnchanged) {
    const std::string bytes = Bytes({0x80, 0x89, 0xEF, 0xFF, 0x00, 0x1B, 0x7F});
    EXPECT_EQ(TranslateDeviceBytes(bytes, "KD520", 0), bytes);
}

TEST(TranslateDeviceBytes, markupIsNotEscaped) {
    EXPECT_EQ(TranslateDeviceBytes("<b>GOOD</b> & ok", "QM", 0), "<b>GOOD</b> & ok");
}

TEST(TranslateDeviceBytes, unknownModelOrEmptyChunkGivesNothing) {
    for (std::string_view model : {"", "kd318", "KD318 ", "KD52", "Q"}) {
        EXPECT_EQ(TranslateDeviceBytes("Battery Test\r\n", model, 0), "") << model;
    }
    EXPECT_EQ(TranslateDeviceBytes("", "KD318", 0), "");
}

} // namespace
} // namespace quillar
