#include "picture_io/file_names.h"

#include <gtest/gtest.h>

namespace tavren {
namespace {

TEST(TextHelpers, FileNameParts) {
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

TEST(TextHelpers, IsIntegerText) {
  EXPECT_TRUE(IsIntegerText("42"));
  EXPECT_TRUE(IsIntegerText("-2147483648"));
  EXPECT_TRUE(IsIntegerText("  +7"));
  EXPECT_TRUE(IsIntegerText("$FF"));
  EXPECT_TRUE(IsIntegerText("0x7fffffff"));
  EXPECT_FALSE(IsIntegerText("2147483648"));
  EXPECT_FALSE(IsIntegerText(""));
  EXPECT_FALSE(IsIntegerText("12a"));
  EXPECT_FALSE(IsIntegerText("-"));
  EXPECT_FALSE(IsIntegerText("1.5"));
}

}  // namespace
}  // namespace tavren
