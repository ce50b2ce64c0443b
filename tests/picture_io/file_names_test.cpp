#include "picture_io/file_names.h"
#include "picture_io/save_names.h"

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

TEST(SaveNames, CopyFileNamePutsTheSuffixBeforeTheExtension) {
  EXPECT_EQ(CopyFileName("IMG_0412.JPG", "copy"), "IMG_0412copy.JPG");
  EXPECT_EQ(CopyFileName("photo.bmp", "copy"), "photocopy.bmp");
  EXPECT_EQ(CopyFileName("archive.tar.jpeg", "copy"), "archive.tarcopy.jpeg");
  EXPECT_EQ(CopyFileName("README", "copy"), "READMEcopy");
  EXPECT_EQ(CopyFileName("dir.v2/README", "copy"), "dir.v2/READMEcopy");
}

TEST(SaveNames, ForceJpgExtKeepsJpgInAnyCaseAndReplacesOtherExtensions) {
  EXPECT_EQ(ForceJpgExt(CopyFileName("photo.bmp", "copy")), "photocopy.jpg");
  EXPECT_EQ(ForceJpgExt("/a/IMG_0412copy.JPG"), "/a/IMG_0412copy.JPG");
  EXPECT_EQ(ForceJpgExt("shot.Jpg"), "shot.Jpg");
  EXPECT_EQ(ForceJpgExt("shot.jpeg"), "shot.jpg");
  EXPECT_EQ(ForceJpgExt("shot"), "shot.jpg");
  EXPECT_EQ(ForceJpgExt("shot."), "shot.jpg");
  EXPECT_EQ(ForceJpgExt("v1.2/shot"), "v1.2/shot.jpg");
}

}  // namespace
}  // namespace tavren
