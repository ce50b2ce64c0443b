#include "picture_io/save_names.h"

#include <gtest/gtest.h>

namespace tavren {
namespace {

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
