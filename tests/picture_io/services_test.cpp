#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "picture_io/error.h"
#include "picture_io/file_info.h"
#include "picture_io/picture_cache.h"
#include "support/test_support.h"

namespace tavren {
namespace {

namespace fs = std::filesystem;

Image Filled(std::int32_t w, std::int32_t h, std::uint8_t value) {
  Image image(w, h);
  std::fill(image.Data(), image.Data() + image.ByteSize(), value);
  return image;
}

TEST(Cache, HitCopiesThePictureAndSurvivesDeletion) {
  test::TempDir dir;
  const std::string path = dir.file("a.jpg");
  std::ofstream(path) << "data";
  TCache cache(1 << 20);
  Image out;
  EXPECT_FALSE(cache.Get(path, out));
  cache.Add(path, Filled(4, 4, 7));
  fs::remove(path);
  ASSERT_TRUE(cache.Get(path, out));
  EXPECT_EQ(out, Filled(4, 4, 7));
}

TEST(Cache, KeysKeepLetterCaseWhereFileSystemsDo) {
  TCache cache(1 << 20);
  cache.Add("/x/Photo.jpg", Filled(1, 1, 1));
  Image out;
#ifdef _WIN32
  EXPECT_TRUE(cache.Get("/x/photo.jpg", out));
#else
  EXPECT_FALSE(cache.Get("/x/photo.jpg", out));
#endif
}

TEST(Cache, ChangedFileIsDecodedAgain) {
  test::TempDir dir;
  const std::string path = dir.file("a.jpg");
  std::ofstream(path) << "data";
  TCache cache(1 << 20);
  cache.Add(path, Filled(2, 2, 1));
  std::ofstream(path, std::ios::app) << "more";
  Image out;
  EXPECT_FALSE(cache.Get(path, out));
  EXPECT_EQ(cache.Count(), 0u);
}

TEST(Cache, BoundedByMemoryDroppingLeastRecentlyUsed) {
  const std::size_t picture = Filled(10, 10, 0).ByteSize();  // 300 bytes
  TCache cache(3 * picture);
  cache.Add("a", Filled(10, 10, 1));
  cache.Add("b", Filled(10, 10, 2));
  cache.Add("c", Filled(10, 10, 3));
  Image out;
  EXPECT_TRUE(cache.Get("a", out));  // a is now the most recent
  cache.Add("d", Filled(10, 10, 4));
  EXPECT_FALSE(cache.Get("b", out));
  EXPECT_TRUE(cache.Get("a", out));
  EXPECT_TRUE(cache.Get("c", out));
  EXPECT_TRUE(cache.Get("d", out));
  EXPECT_LE(cache.Bytes(), cache.MaxBytes());

  cache.Add("huge", Filled(100, 100, 5));  // larger than the bound: not kept
  EXPECT_FALSE(cache.Get("huge", out));
  EXPECT_TRUE(cache.Get("d", out));
}

TEST(Cache, MakesRoomOnlyFromPicturesNotKept) {
  const std::size_t picture = Filled(10, 10, 0).ByteSize();
  TCache cache(3 * picture);
  const auto shared = [](std::uint8_t v) { return std::make_shared<const Image>(Filled(10, 10, v)); };
  const TSharedPicture a = shared(1);
  EXPECT_TRUE(cache.Add("a", a, {}));
  EXPECT_TRUE(cache.Add("b", shared(2), {}));
  EXPECT_TRUE(cache.Reserve(picture, {"a", "b"}));
  EXPECT_FALSE(cache.Add("c", shared(3), {}, {"a", "b"}));
  EXPECT_FALSE(cache.Reserve(1, {"a", "b"}));
  cache.Release(picture);
  EXPECT_TRUE(cache.Reserve(2 * picture, {"a"}));  // b goes
  EXPECT_EQ(cache.Find("a"), a);                    // the very picture, not a copy
  EXPECT_EQ(cache.Find("b"), nullptr);
  EXPECT_LE(cache.Bytes() + cache.ReservedBytes(), cache.MaxBytes());
}

TEST(Cache, DefaultBoundIsAtMostTwoGibibytes) {
  EXPECT_GT(TCache::DefaultMaxBytes(), 0u);
  EXPECT_LE(TCache::DefaultMaxBytes(), std::size_t{2} << 30);
}

TEST(FileInfo, FormatsProductVersionNotFileVersion) {
  TFixedFileInfo info;
  info.FileVersionMS = (9u << 16) | 9u;
  info.ProductVersionMS = (0u << 16) | 9u;
  info.ProductVersionLS = (3u << 16) | 0u;
  EXPECT_EQ(FormatProductVersion(info), "0.9.3");
  info.ProductVersionMS = (1u << 16) | 2u;
  info.ProductVersionLS = (3u << 16) | 4u;
  EXPECT_EQ(FormatProductVersion(info), "1.2.3");
}

TEST(FileInfo, FindsTheBlockEmbeddedInAFile) {
  test::TempDir dir;
  const std::string path = dir.file("program");
  const auto block = EmbeddedVersionBlock();
  {
    std::ofstream out(path, std::ios::binary);
    // The signature alone, not followed by a block, must not be taken.
    const unsigned char decoy[] = {0xBD, 0x04, 0xEF, 0xFE, 1, 2, 3, 4};
    out.write(reinterpret_cast<const char*>(decoy), sizeof decoy);
    out << std::string(100, 'x');
    out.write(reinterpret_cast<const char*>(block.data()), block.size());
  }
  TFileInfo info(path);
  EXPECT_EQ(info.GetVersionText(), TAVREN_VERSION_TEXT);
}

TEST(FileInfo, OwnProgramCarriesTheProjectVersion) {
  TFileInfo info("/proc/self/exe");
  EXPECT_EQ(info.GetVersionText(), TAVREN_VERSION_TEXT);
}

TEST(FileInfo, NoBlockGivesEmptyTextAndMissingFileThrows) {
  test::TempDir dir;
  const std::string path = dir.file("plain");
  std::ofstream(path) << "no version here";
  TFileInfo info(path);
  EXPECT_EQ(info.GetVersionText(), "");
  EXPECT_THROW(TFileInfo(dir.file("missing")), TavrenError);
}

}  // namespace
}  // namespace tavren
