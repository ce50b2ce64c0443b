#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "intake_test_helpers.h"
#include "picture_io/picture_files.h"
#include "picture_io/picture_formats.h"
#include "system/file_names.h"

namespace tavren {
namespace {

TEST(HasKind, ExtensionsOfEachKindWhateverTheirCase) {
  for (const char* path : {"a.jpg", "a.JPG", "dir/b.jpeg", "c.JFIF", "d.Jpe", ".jpg"}) {
    EXPECT_TRUE(HasKind(path, 0)) << path;
    EXPECT_FALSE(HasKind(path, 1)) << path;
  }
  EXPECT_TRUE(HasKind("x/photo.BMP", 1));
  EXPECT_FALSE(HasKind("x/photo.BMP", 0));
}

TEST(HasKind, OtherExtensionsAndKinds) {
  for (const char* path : {"a.tif", "a.png", "jpg", "a.jpg.txt", "a.jpg.", "a.jp", "holiday.jpg/x"})
    for (int kind : {0, 1}) EXPECT_FALSE(HasKind(path, kind)) << path;
  EXPECT_FALSE(HasKind("a.jpg", 2));
  EXPECT_FALSE(HasKind("a.bmp", -1));
  EXPECT_FALSE(HasKind("a.png", 7));
}

TEST(PictureFormats, OpenablePicturesAreThoseOfEveryFormat) {
  const struct {
    const char* Path;
    const char* Format;
  } files[] = {{"a.JPG", "JPEG"},  {"b.jfif", "JPEG"}, {"c.Bmp", "BMP"}, {"d.HEIC", "HEIF"},
               {"e.heif", "HEIF"}, {"f.hif", "HEIF"},  {"g.Png", "PNG"}, {"h.tif", "TIFF"},
               {"i.TIFF", "TIFF"}, {"j.webp", "WebP"}};
  for (const auto& file : files) {
    ASSERT_NE(FormatOfPath(file.Path), nullptr) << file.Path;
    EXPECT_EQ(FormatOfPath(file.Path)->Name, file.Format) << file.Path;
    EXPECT_TRUE(IsOpenablePicture(file.Path)) << file.Path;
  }
  for (const char* path : {"a.gif", "jpg", "a.bmp.txt", "a.tga", "a.heics"}) {
    EXPECT_FALSE(IsOpenablePicture(path)) << path;
    EXPECT_EQ(FormatOfPath(path), nullptr) << path;
  }
  // Only JPEG and BMP are written, each under its own extensions.
  EXPECT_EQ(FormatSavedAs("a.JPEG"), FormatNamed("JPEG"));
  EXPECT_EQ(FormatSavedAs("a.bmp"), FormatNamed("BMP"));
  for (const char* path : {"a.jfif", "a.png", "a.heic"})
    EXPECT_EQ(FormatSavedAs(path), nullptr) << path;
}

// Every format's entry is whole, its extensions its own, and a file of it
// is known by its first bytes as that format alone.
TEST(PictureFormats, EveryEntryIsWholeAndKnowsItsFiles) {
  std::vector<std::string_view> extensions;
  for (const TPictureFormat& format : PictureFormats()) {
    SCOPED_TRACE(std::string(format.Name));
    EXPECT_EQ(FormatNamed(format.Name), &format);
    EXPECT_TRUE(!format.Signatures.empty() && format.ReadSize && format.Decode);
    EXPECT_FALSE(format.DialogFilter.empty());
    for (std::string_view ext : format.Extensions) {
      EXPECT_EQ(ext.front(), '.');
      EXPECT_EQ(std::string(ext), AsciiLower(std::string(ext)));
      EXPECT_EQ(std::count(extensions.begin(), extensions.end(), ext), 0);
      extensions.push_back(ext);
    }
  }
  for (const char* file :
       {"jpeg_colour.jpg", "bmp_rose16_24.bmp", "heif_rose_grid.heic", "tiff_62979_samples.tif"}) {
    const std::vector<std::uint8_t> bytes = test::DataFile(file);
    EXPECT_EQ(FormatOfContent(bytes.data(), bytes.size()), FormatOfPath(file)) << file;
  }
}

// The window opens through LoadPicture too: a pipe named like a picture is
// refused at once instead of blocking, as is a folder.
TEST(LoadPicture, RefusesOtherFormatsFoldersPipesAndEmptyNames) {
  EXPECT_EQ(
      test::RefusalOf([] { LoadPicture("dir/photo.gif"); })
          .rfind(
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
#ifndef _WIN32
  ASSERT_EQ(::mkfifo(dir.file("pipe.bmp").c_str(), 0644), 0);
  EXPECT_NE(test::RefusalOf([&] { LoadPicture(dir.file("pipe.bmp")); }).find("not a regular file"),
            std::string::npos);
#endif
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
  // The reason names what the file holds.
  for (const auto& [name, content] :
       {std::pair{"really_bmp.JPG", "BMP"}, {"really_jpg.Bmp", "JPEG"}}) {
    const std::string file = dir.file(name);
    const std::string reason = test::RefusalOf([&] { LoadPicture(file); });
    EXPECT_NE(reason.find(std::string("; the file holds a ") + content + " picture"),
              std::string::npos)
        << reason;
    EXPECT_EQ(test::RefusalOf([&] { ReadPictureSize(file); }), reason);
  }
  EXPECT_EQ(LoadPicture(dir.file("a.bmp")).Width(), 70);
  EXPECT_EQ(LoadPicture(dir.file("a.jfif")).Width(), 70);

  // A large file of zeros (sparse, 1.5 GB) under the name of a format read
  // whole is refused on its head, as a small one is, without being read.
#ifndef _WIN32
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  for (const std::string ext : {".png", ".tif", ".webp", ".heic"}) {
    const std::string small = dir.file("small" + ext), large = dir.file("large" + ext);
    WriteFileAtomically(small, std::vector<std::uint8_t>(64));
    WriteFileAtomically(large, {});
    std::filesystem::resize_file(large, std::uintmax_t{1500} << 20);
    const std::string reason =
        test::RefusalOf([&] { ReadPictureSize(small); }).substr(small.size());
    EXPECT_EQ(test::RefusalOf([&] { ReadPictureSize(large); }), large + reason);
    EXPECT_EQ(test::RefusalOf([&] { LoadPicture(large); }), large + reason);
  }
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 << 10);
#endif
}

}  // namespace
}  // namespace tavren
