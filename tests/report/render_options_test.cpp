#include "render_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillar::render {
namespace {

RenderOptions Parse(std::vector<const char*> args) {
    return ParseRenderOptions(args, "/res");
}

TEST(ParseRenderOptions, defaultsAndValues) {
    const RenderOptions plain = Parse({"printout.txt"});
    EXPECT_EQ(plain.model, "KD520");
    EXPECT_EQ(plain.language, 0);
    EXPECT_EQ(plain.chunk, 0u);
    EXPECT_EQ(plain.resourceDir, "/res");
    EXPECT_EQ(plain.input, "printout.txt");
    EXPECT_FALSE(plain.imageDir || plain.dateText || plain.output);

    const RenderOptions all =
        Parse({"--model", "KD318", "--language", "-1", "--chunk", "7", "--dir", "/opt/q", "--date",
               "1 May 2026 10:00", "--resources", "r", "-o", "out.html", "-"});
    EXPECT_EQ(all.model, "KD318");
    EXPECT_EQ(all.language, -1);
    EXPECT_EQ(all.chunk, 7u);
    EXPECT_EQ(all.imageDir, "/opt/q/");
    EXPECT_EQ(all.dateText, "1 May 2026 10:00");
    EXPECT_EQ(all.resourceDir, "r");
    EXPECT_EQ(all.output, "out.html");
    EXPECT_EQ(all.input, "-");
    EXPECT_EQ(Parse({"--dir", "/opt/q/", "p"}).imageDir, "/opt/q/");
    EXPECT_TRUE(Parse({"--help"}).help);
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
