#include "render_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillar::render {
namespace {

RenderOptions Parse(std::vector<const char*> args) {
    return ParseRenderOptions(args);
}

TEST(ParseRenderOptions, valuesAndImageDirectory) {
    const RenderOptions o = Parse({"--model", "KD318", "--language", "11", "--chunk", "7",
                                   "--image-dir", "/opt/q", "--date", "1 May 2026 10:00", "p"});
    EXPECT_EQ(o.model, "KD318");
    EXPECT_EQ(o.language, 11); // the menu's last language
    EXPECT_EQ(o.chunk, 7u);
    EXPECT_EQ(o.dateText, "1 May 2026 10:00");
    EXPECT_EQ(o.input, "p");
    // The page joins the directory and the image name without a separator.
    EXPECT_EQ(o.imageDir, "/opt/q/");
    EXPECT_EQ(Parse({"--model", "QM", "--image-dir", "/opt/q/"}).imageDir, "/opt/q/");
    const std::string relative = *Parse({"--model", "QM", "--image-dir", "img"}).imageDir;
    EXPECT_TRUE(relative.starts_with('/')) << relative;
    EXPECT_TRUE(relative.ends_with("/img/")) << relative;
    // Without a file the printout comes from standard input; an empty model is
    // a model like any other unknown one.
    const RenderOptions piped = Parse({"--model", ""});
    EXPECT_FALSE(piped.input);
    EXPECT_EQ(piped.chunk, 0u);
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_EQ(Parse({"--model", "QM", "--language", "0"}).language, 0);
}

TEST(ParseRenderOptions, rejectsBadCommandLines) {
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"p"},
        {"--model"},
        {"--model", "QM", "--language", "x"},
        {"--model", "QM", "--language", "6a"},
        {"--model", "QM", "--language", "99999999999"},
        // Only the language menu's indexes: the program shows no other.
        {"--model", "QM", "--language", "-1"},
        {"--model", "QM", "--language", "12"},
        {"--model", "QM", "--chunk", "0"},
        {"--model", "QM", "--chunk", "-1"},
        {"--model", "QM", "--dir", "d"},
        {"--model", "QM", "a", "b"},
    };
    for (const auto& args : bad) {
        EXPECT_THROW(Parse(args), UsageError) << args.size() << " arguments";
    }
}

} // namespace
} // namespace quillar::render
