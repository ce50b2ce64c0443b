#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "picture_io/picture_files.h"
#include "picture_io/picture_kind.h"
#include "intake_test_helpers.h"

namespace tavren {
namespace {

TEST(HasKind, ExtensionsOfEachKindWhateverTheirCase) {
  for (const char* path : {"a.jpg", "a.JPG", "dir/b.jpeg", "c.JFIF", "d.Jpe", ".jpg"}) {
    EXPECT_TRUE(HasKind(path, kKindJpeg)) << path;
    EXPECT_FALSE(HasKind(path, kKindBmp)) << path;
  }
  EXPECT_TRUE(HasKind("x/photo.BMP", kKindBmp));
  EXPECT_FALSE(HasKind("x/photo.BMP", kKindJpeg));
}

TEST(HasKind, OtherExtensionsAndKinds) {
  for (const char* path : {"a.tif", "a.png", "jpg", "a.jpg.txt", "a.jpg.", "a.jp", "holiday.jpg/x"})
    for (int kind : {kKindJpeg, kKindBmp}) EXPECT_FALSE(HasKind(path, kind)) << path;
  EXPECT_FALSE(HasKind("a.jpg", 2));
  EXPECT_FALSE(HasKind("a.bmp", -1));
  EXPECT_FALSE(HasKind("a.png", 7));
}

TEST(HasKind, OpenablePicturesAreThoseOfEveryKind) {
  const struct {
    const char* path;
    int kind;
  } kinds[] = {{"a.JPG", kKindJpeg}, {"b.jfif", kKindJpeg}, {"c.Bmp", kKindBmp},  {"d.HEIC", kKindHeif},
               {"e.heif", kKindHeif}, {"f.hif", kKindHeif},  {"g.Png", kKindPng},  {"h.tif", kKindTiff},
               {"i.TIFF", kKindTiff}, {"j.webp", kKindWebp}};
  for (const auto& k : kinds) {
    EXPECT_EQ(PictureKindOf(k.path), k.kind) << k.path;
    EXPECT_TRUE(IsOpenablePicture(k.path)) << k.path;
  }
  for (const char* path : {"a.gif", "jpg", "a.bmp.txt", "a.tga", "a.heics"}) {
    EXPECT_FALSE(IsOpenablePicture(path)) << path;
    EXPECT_EQ(PictureKindOf(path), -1) << path;
  }
}

// The window opens through LoadPicture too: a pipe named like a picture is
// refused at once instead of blocking, as is a folder.
TEST(LoadPicture, RefusesOtherFormatsFoldersPipesAndEmptyNames) {
  EXPECT_EQ(test::RefusalOf([] { LoadPicture("dir/photo.gif"); }).rfind(
                "dir/photo.gif: the program does not open .gif files (it opens .jpg, .jpeg, .jfif, "
                ".jpe, .bmp, .heic, .heif, .hif, .png, .tif, .tiff, .webp",
                0),
            0u);
  EXPECT_NE(test::RefusalOf([] { LoadPicture("noext"); }).find("noext: the name has no extension"),
            std::string::npos);
  EXPECT_EQ(test::RefusalOf([] { LoadPicture(""); }), "the file name is empty");
  test::TempDir dir;
  std::filesystem::create_directory(dir.path() / "holiday.jpg");
  for (const std::string& folder : {dir.path().string(), dir.file("holiday.jpg")})
    EXPECT_EQ(test::RefusalOf([&] { LoadPicture(folder); }),
              folder + ": is a folder, not a picture file");
  ASSERT_EQ(::mkfifo(dir.file("pipe.bmp").c_str(), 0644), 0);
  EXPECT_NE(test::RefusalOf([&] { LoadPicture(dir.file("pipe.bmp")); }).find("not a regular file"),
            std::string::npos);
}

TEST(LoadPicture, ChoosesTheDecoderByExtension) {
  test::TempDir dir;
  // A bitmap renamed .jpg is refused by the JPEG decoder, and the reverse.
  const auto bmp = ReadFileBytes(test::TestDataPath("jpeg_colour.ref.bmp"));
  const auto jpg = ReadFileBytes(test::TestDataPath("jpeg_colour.jpg"));
  WriteFileAtomically(dir.file("really_bmp.JPG"), bmp);
  WriteFileAtomically(dir.file("really_jpg.Bmp"), jpg);
  WriteFileAtomically(dir.file("a.bmp"), bmp);
  WriteFileAtomically(dir.file("a.jfif"), jpg);
  EXPECT_FALSE(test::RefusalOf([&] { LoadPicture(dir.file("really_bmp.JPG")); }).empty());
  EXPECT_FALSE(test::RefusalOf([&] { LoadPicture(dir.file("really_jpg.Bmp")); }).empty());
  EXPECT_EQ(LoadPicture(dir.file("a.bmp")).Width(), 70);
  EXPECT_EQ(LoadPicture(dir.file("a.jfif")).Width(), 70);
}

}  // namespace
}  // namespace tavren
