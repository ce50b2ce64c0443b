#include "workflow/read_ahead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "jpeg_export/jpeg_encoder.h"
#include "picture_io/picture_files.h"
#include "support/test_support.h"

namespace tavren {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kLimitHeight = 60;  // the pictures below are reduced
constexpr std::int32_t kLimitWidth = 70;

// A JPEG file of a picture with smooth parts and noise.
void WritePhoto(const std::string& path, std::uint32_t seed) {
  Image picture = test::RandomImage(160, 120, seed);
  for (std::int32_t y = 0; y < picture.Height(); ++y)
    for (std::int32_t x = 0; x < picture.Width(); ++x) {
      std::uint8_t* p = picture.Row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(40 + x % 120 + p[0] % 16);
      p[1] = static_cast<std::uint8_t>(60 + (x + y) % 90 + p[1] % 16);
      p[2] = static_cast<std::uint8_t>(90 + y % 80 + p[2] % 16);
    }
  const std::vector<std::uint8_t> bytes = EncodeJpeg(picture);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

void WaitUntilIdle(TReadAhead& readAhead) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!readAhead.Idle() && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(readAhead.Idle());
  readAhead.Collect();
}

// What the window does to open a file: the cache's picture, else decoded.
const Image* Open(TReadAhead& readAhead, TCache& cache, TProcessEngine& engine,
                  const std::string& path) {
  readAhead.Focus(path);
  TSharedPicture picture = cache.Find(path);
  if (picture == nullptr) {
    const TFileStamp stamp = FileStampOf(path);
    picture = std::make_shared<const Image>(LoadPicture(path));
    cache.Add(path, picture, stamp);
  }
  return readAhead.OpenIn(engine, path, picture, kLimitHeight, kLimitWidth);
}

void ExpectSameStart(const TProcessEngine& prepared, const TProcessEngine& plain) {
  EXPECT_EQ(*prepared.FullImage(), *plain.FullImage());
  EXPECT_EQ(*prepared.BaseImage(), *plain.BaseImage());
  EXPECT_EQ(prepared.BaseReduced(), plain.BaseReduced());
  for (int type : {ptOriginal, ptLight, ptNormal, ptDeep})
    EXPECT_EQ(*prepared.ResultImages().Get(type), *plain.ResultImages().Get(type)) << type;
  EXPECT_FALSE(prepared.ResultImages().Has(ptManualTuning));
  EXPECT_EQ(prepared.CurrentProcessType(), ptNormal);
  EXPECT_TRUE(prepared.JustOpened());
  EXPECT_EQ(prepared.ManualSettings(), TypePresets[ptNormal]);
}

class ReadAheadTest : public ::testing::Test {
 protected:
  ReadAheadTest() {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
      WritePhoto(dir_.file(name), static_cast<std::uint32_t>(name[0]));
  }
  std::string Path(const char* name) const { return dir_.file(name); }

  test::TempDir dir_;
};

TEST_F(ReadAheadTest, PreparedPictureStartsAsAPlainOpenAndStepsBackForFree) {
  TCache cache;
  TReadAhead readAhead(cache);
  TProcessEngine engine;
  Open(readAhead, cache, engine, Path("a.jpg"));
  engine.SetManualSettings({3, 1, 0, 0});
  engine.Select(ptManualTuning);

  readAhead.Plan({Path("b.jpg")}, kLimitHeight, kLimitWidth);
  WaitUntilIdle(readAhead);
  const Image* shown = Open(readAhead, cache, engine, Path("b.jpg"));
  EXPECT_EQ(readAhead.Served(), 1);
  TProcessEngine plain;
  plain.ComputeVariants(LoadPicture(Path("b.jpg")), kLimitHeight, kLimitWidth);
  ExpectSameStart(engine, plain);
  EXPECT_EQ(shown, engine.ResultImages().Get(ptNormal));

  // The picture that left the view is ready for a step back at once.
  readAhead.Plan({Path("c.jpg"), Path("a.jpg")}, kLimitHeight, kLimitWidth);
  EXPECT_TRUE(
      readAhead.Prepared(Path("a.jpg"), *cache.Find(Path("a.jpg")), kLimitHeight, kLimitWidth));
  WaitUntilIdle(readAhead);
  Open(readAhead, cache, engine, Path("a.jpg"));
  EXPECT_EQ(readAhead.Served(), 2);
  TProcessEngine plainA;
  plainA.ComputeVariants(LoadPicture(Path("a.jpg")), kLimitHeight, kLimitWidth);
  ExpectSameStart(engine, plainA);

  // Prepared for another view size is not taken.
  readAhead.Plan({Path("b.jpg")}, kLimitHeight, kLimitWidth);
  WaitUntilIdle(readAhead);
  EXPECT_FALSE(readAhead.Prepared(Path("b.jpg"), *cache.Find(Path("b.jpg")), 90, 100));
  readAhead.Focus(Path("b.jpg"));
  readAhead.OpenIn(engine, Path("b.jpg"), cache.Find(Path("b.jpg")), 90, 100);
  EXPECT_EQ(readAhead.Served(), 2);
  EXPECT_EQ(engine.BaseImage()->Height(), 75);
}

TEST_F(ReadAheadTest, SteppingElsewhereDropsTheWorkUnderWay) {
  TCache cache;
  std::mutex mutex;
  std::condition_variable changed;
  int notices = 0;
  bool replanned = false;
  // The first notice comes when a.jpg is decoded; the worker waits there
  // until the user has gone elsewhere.
  TReadAhead readAhead(cache, [&] {
    std::unique_lock lock(mutex);
    ++notices;
    changed.notify_all();
    changed.wait(lock, [&] { return replanned; });
  });
  readAhead.Plan({Path("a.jpg"), Path("b.jpg")}, kLimitHeight, kLimitWidth);
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return notices >= 1; });
  }
  readAhead.Plan({Path("c.jpg")}, kLimitHeight, kLimitWidth);
  {
    std::lock_guard lock(mutex);
    replanned = true;
  }
  changed.notify_all();
  WaitUntilIdle(readAhead);

  EXPECT_EQ(cache.Find(Path("a.jpg")), nullptr);  // decoded, then dropped
  EXPECT_EQ(cache.Find(Path("b.jpg")), nullptr);  // never started
  const TSharedPicture c = cache.Find(Path("c.jpg"));
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(readAhead.Prepared(Path("c.jpg"), *c, kLimitHeight, kLimitWidth));
  EXPECT_GT(cache.ReservedBytes(), 0u);
  readAhead.Clear();
  EXPECT_EQ(cache.ReservedBytes(), 0u);
}

TEST_F(ReadAheadTest, PictureChangedOnDiskAfterReadAheadIsDecodedAgain) {
  TCache cache;
  TReadAhead readAhead(cache);
  TProcessEngine engine;
  readAhead.Plan({Path("b.jpg")}, kLimitHeight, kLimitWidth);
  WaitUntilIdle(readAhead);
  WritePhoto(Path("b.jpg"), 99);
  fs::last_write_time(Path("b.jpg"), fs::last_write_time(Path("b.jpg")) + std::chrono::seconds(5));
  Open(readAhead, cache, engine, Path("b.jpg"));
  EXPECT_EQ(readAhead.Served(), 0);
  TProcessEngine plain;
  plain.ComputeVariants(LoadPicture(Path("b.jpg")), kLimitHeight, kLimitWidth);
  ExpectSameStart(engine, plain);
}

TEST_F(ReadAheadTest, NeverPushesThePictureOnShowOutOfTheCache) {
  // Room for two pictures and one set of prepared types, no more.
  const std::size_t picture = 160 * 120 * 3;
  const std::size_t prepared = 5 * 70 * 52 * 3;  // the base image and types 0..3
  TCache cache(2 * picture + prepared + 100);
  TReadAhead readAhead(cache);
  TProcessEngine engine;
  Open(readAhead, cache, engine, Path("a.jpg"));
  readAhead.Plan({Path("b.jpg"), Path("c.jpg")}, kLimitHeight, kLimitWidth);
  WaitUntilIdle(readAhead);
  EXPECT_NE(cache.Find(Path("a.jpg")), nullptr);
  const TSharedPicture b = cache.Find(Path("b.jpg"));
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(readAhead.Prepared(Path("b.jpg"), *b, kLimitHeight, kLimitWidth));
  EXPECT_EQ(cache.Find(Path("c.jpg")), nullptr);
  EXPECT_LE(cache.Bytes() + cache.ReservedBytes(), cache.MaxBytes());
}

TEST_F(ReadAheadTest, DamagedNeighbourIsLeftForTheUserToFind) {
  { std::ofstream(Path("b.jpg"), std::ios::binary) << "\xFF\xD8\xFF\xE0 not a picture"; }
  TCache cache;
  TReadAhead readAhead(cache);
  readAhead.Plan({Path("b.jpg"), Path("c.jpg")}, kLimitHeight, kLimitWidth);
  WaitUntilIdle(readAhead);
  EXPECT_EQ(cache.Find(Path("b.jpg")), nullptr);
  EXPECT_THROW(LoadPicture(Path("b.jpg")), std::exception);
  const TSharedPicture c = cache.Find(Path("c.jpg"));
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(readAhead.Prepared(Path("c.jpg"), *c, kLimitHeight, kLimitWidth));
}

}  // namespace
}  // namespace tavren
