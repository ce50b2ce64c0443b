#include "workflow/picture_cache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"
#include "system/file_names.h"

namespace tavren {
namespace {

namespace fs = std::filesystem;

Image Filled(std::int32_t w, std::int32_t h, std::uint8_t value) {
  Image image(w, h);
  std::fill(image.Data(), image.Data() + image.ByteSize(), value);
  return image;
}

// Stores a w x h picture of value under key, stamped as the file is now.
bool Store(TCache& cache, const std::string& key, std::int32_t w, std::int32_t h,
           std::uint8_t value) {
  return cache.Add(key, std::make_shared<const Image>(Filled(w, h, value)), FileStampOf(key));
}

bool Has(TCache& cache, const std::string& key) { return cache.Find(key) != nullptr; }

TEST(Cache, HitSurvivesDeletion) {
  test::TempDir dir;
  const std::string path = dir.file("a.jpg");
  std::ofstream(path) << "data";
  TCache cache(1 << 20);
  EXPECT_FALSE(Has(cache, path));
  Store(cache, path, 4, 4, 7);
  fs::remove(path);
  ASSERT_TRUE(Has(cache, path));
  EXPECT_EQ(*cache.Find(path), Filled(4, 4, 7));
}

TEST(Cache, KeysKeepLetterCaseWhereFileSystemsDo) {
  TCache cache(1 << 20);
  Store(cache, "/x/Photo.jpg", 1, 1, 1);
  EXPECT_EQ(Has(cache, "/x/photo.jpg"), FileNamesIgnoreCase());
}

TEST(Cache, ChangedFileIsDecodedAgain) {
  test::TempDir dir;
  const std::string path = dir.file("a.jpg");
  std::ofstream(path) << "data";
  TCache cache(1 << 20);
  Store(cache, path, 2, 2, 1);
  std::ofstream(path, std::ios::app) << "more";
  EXPECT_FALSE(Has(cache, path));
  EXPECT_EQ(cache.Count(), 0u);

  // Replaced by a file of the same size whose time was put back, as tools
  // that keep a file's time do: in place, and by a new file renamed over it.
  Store(cache, path, 2, 2, 1);
  const auto time = fs::last_write_time(path);
  std::ofstream(path, std::ios::in | std::ios::out) << "DATA";
  fs::last_write_time(path, time);
  EXPECT_FALSE(Has(cache, path));
  Store(cache, path, 2, 2, 1);
  std::ofstream(dir.file("b.jpg")) << "datamore";
  fs::last_write_time(dir.file("b.jpg"), time);
  fs::rename(dir.file("b.jpg"), path);
  EXPECT_FALSE(Has(cache, path));
}

TEST(Cache, BoundedByMemoryDroppingLeastRecentlyUsed) {
  const std::size_t picture = Filled(10, 10, 0).ByteSize();  // 300 bytes
  TCache cache(3 * picture);
  Store(cache, "a", 10, 10, 1);
  Store(cache, "b", 10, 10, 2);
  Store(cache, "c", 10, 10, 3);
  EXPECT_TRUE(Has(cache, "a"));  // a is now the most recent
  Store(cache, "d", 10, 10, 4);
  EXPECT_FALSE(Has(cache, "b"));
  EXPECT_TRUE(Has(cache, "a"));
  EXPECT_TRUE(Has(cache, "c"));
  EXPECT_TRUE(Has(cache, "d"));
  EXPECT_LE(cache.Bytes(), cache.MaxBytes());

  EXPECT_FALSE(Store(cache, "huge", 100, 100, 5));  // larger than the bound: not kept
  EXPECT_FALSE(Has(cache, "huge"));
  EXPECT_TRUE(Has(cache, "d"));
}

TEST(Cache, MakesRoomOnlyFromPicturesNotKept) {
  const std::size_t picture = Filled(10, 10, 0).ByteSize();
  TCache cache(3 * picture);
  const auto shared = [](std::uint8_t v) {
    return std::make_shared<const Image>(Filled(10, 10, v));
  };
  const TSharedPicture a = shared(1);
  EXPECT_TRUE(cache.Add("a", a, {}));
  EXPECT_TRUE(cache.Add("b", shared(2), {}));
  EXPECT_TRUE(cache.Reserve(picture, {"a", "b"}));
  EXPECT_FALSE(cache.Add("c", shared(3), {}, {"a", "b"}));
  EXPECT_FALSE(cache.Reserve(1, {"a", "b"}));
  cache.Release(picture);
  EXPECT_TRUE(cache.Reserve(2 * picture, {"a"}));  // b goes
  EXPECT_EQ(cache.Find("a"), a);                   // the very picture, not a copy
  EXPECT_EQ(cache.Find("b"), nullptr);
  EXPECT_LE(cache.Bytes() + cache.ReservedBytes(), cache.MaxBytes());
}

TEST(Cache, DefaultBoundIsAtMostTwoGibibytes) {
  EXPECT_GT(TCache::DefaultMaxBytes(), 0u);
  EXPECT_LE(TCache::DefaultMaxBytes(), std::size_t{2} << 30);
}

}  // namespace
}  // namespace tavren
