#include "system/file_names.h"

#include <gtest/gtest.h>

namespace tavren {
namespace {

TEST(FileNames, Parts) {
  EXPECT_EQ(FileNameBase("/a/b/photo.jpg"), "photo");
  EXPECT_EQ(FileNameBase("archive.tar.gz"), "archive.tar");
  EXPECT_EQ(FileNameBase("/a.b/noext"), "noext");
  EXPECT_EQ(FileExtUpper("photo.jpg"), "JPG");
  EXPECT_EQ(FileExtUpper("a.jpeg"), "JPEG");
  EXPECT_EQ(FileExtUpper("/x.dir/noext"), "");
  EXPECT_EQ(FileExt("/x.dir/noext"), "");
  EXPECT_EQ(FileFolder("/a/b/photo.jpg"), "/a/b/");
  EXPECT_EQ(FileFolder("photo.jpg"), "");
  EXPECT_EQ(FileNameOf("/a/b/photo.jpg"), "photo.jpg");
}

TEST(FileNames, AsciiLowerLeavesEveryOtherByte) {
  EXPECT_EQ(AsciiLower("AZaz09.-_@[`{"), "azaz09.-_@[`{");
  EXPECT_EQ(AsciiLower("\xC3\x89T\xC3\x89.JPG"), "\xC3\x89t\xC3\x89.jpg");
}

}  // namespace
}  // namespace tavren
