#include "render_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillar::render {
namespace {

RenderOptions Parse(std::vector<const char*> args) {
    return ParseRenderOptions(args, "/res");
}

TEST(ParseRenderOptions, valuesAndDirectorySeparator) {
    const RenderOptions o =
        Parse({"--model", "KD318", "--language", "-1", "--chunk", "7", "--dir", "/opt/q", "-"});
    EXPECT_EQ(o.model, "KD318");
    EXPECT_EQ(o.language, -1);
    EXPECT_EQ(o.chunk, 7u);
    EXPECT_EQ(o.input, "-");
    EXPECT_EQ(o.resourceDir, "/res");
    // The page joins the directory and the image name without a separator.
    EXPECT_EQ(o.imageDir, "/opt/q/");
    EXPECT_EQ(Parse({"--image-dir", "/opt/q/", "p"}).imageDir, "/opt/q/");
    const std::string relative = *Parse({"--image-dir", "img", "p"}).imageDir;
    EXPECT_TRUE(relative.starts_with('/')) << relative;
    EXPECT_TRUE(relative.ends_with("/img/")) << relative;
}

TEST(ParseRenderOptions, rejectsBadCommandLines) {
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"--model"},
        {"--language", "x", "p"},
        {"--language", "6a", "p"},
        {"--language", "99999999999", "p"},
        {"--chunk", "-1", "p"},
        {"--colour", "p"},
        {"a", "b"},
    };
    for (const auto& args : bad) {
        EXPECT_THROW(Parse(args), UsageError) << (args.empty() ? "(none)" : args.front());
    }
}

} // namespace
} // namespace quillar::render
