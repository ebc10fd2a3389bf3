// Folders as the page's file:// URLs want them, and back to the file they name.
#include "render_paths.h"

#include <gtest/gtest.h>

namespace quillar::render {
namespace {

TEST(RenderPathsTest, WindowsFoldersBecomeUrlFoldersAndPosixOnesStay) {
    EXPECT_EQ(UrlFolder("C:\\Quillar"), "/C:/Quillar/");
    EXPECT_EQ(UrlFolder("C:\\Quillar\\"), "/C:/Quillar/");
    EXPECT_EQ(UrlFolder("d:/Program Files/Quillar/"), "/d:/Program Files/Quillar/");
    EXPECT_EQ(UrlFolder("C:\\"), "/C:/");
    EXPECT_EQ(UrlFolder("/opt/quillar"), "/opt/quillar/");
    EXPECT_EQ(UrlFolder("/opt/quillar/"), "/opt/quillar/");
    // A network share: file:////server/share/ is what browsers open.
    EXPECT_EQ(UrlFolder("\\\\server\\share\\Quillar"), "//server/share/Quillar/");
    // UTF-8 bytes pass as they are.
    EXPECT_EQ(UrlFolder("C:\\Kj\xc3\xb8ret\xc3\xb8y"), "/C:/Kj\xc3\xb8ret\xc3\xb8y/");
}

TEST(RenderPathsTest, UrlPathsLeadBackToTheirFiles) {
    EXPECT_EQ(FilePathOfUrlPath(UrlFolder("C:\\Quillar") + "logo.bmp"), "C:/Quillar/logo.bmp");
    EXPECT_EQ(FilePathOfUrlPath(UrlFolder("/opt/quillar") + "logo.bmp"), "/opt/quillar/logo.bmp");
    EXPECT_EQ(FilePathOfUrlPath("//server/share/logo.bmp"), "//server/share/logo.bmp");
    EXPECT_EQ(FilePathOfUrlPath("/C"), "/C");
    EXPECT_EQ(FilePathOfUrlPath(""), "");
}

} // namespace
} // namespace quillar::render
