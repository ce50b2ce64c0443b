// Every kernel that works in bands of rows gives the bytes of the
// straightforward top-to-bottom scan, whatever the pool and the band count.
#include <gtest/gtest.h>

#include <random>

#include "clarivex/clarivex_tables.h"
#include "histogram/level_census.h"
#include "histogram/match.h"
#include "imaging/stretch.h"
#include "imaging/thread_pool.h"
#include "lumora/limits.h"
#include "lumora/lumora.h"
#include "lumora/restore_rows.h"
#include "support/test_support.h"

namespace tavren {
namespace {

// Pools of these sizes, each also with exactly this many bands.
constexpr int kThreadCounts[] = {1, 2, 3, 7};

// A picture whose values crowd onto a few levels per channel, so that most
// levels have long runs of pixels sharing their counters.
Image CrowdedImage(std::int32_t width, std::int32_t height, std::uint32_t seed) {
  Image image(width, height);
  std::mt19937 random(seed);
  const std::uint8_t levels[] = {0, 3, 90, 91, 92, 200, 255};
  for (std::size_t i = 0; i < image.ByteSize(); ++i)
    image.Data()[i] = levels[random() % (i % 3 == 0 ? 3 : 7)];
  return image;
}

// The shapes where bands go wrong first: one row, one column, and tall and
// wide pictures of crowded or random levels.
std::vector<Image> Pictures() {
  return {CrowdedImage(97, 1, 1),  CrowdedImage(1, 131, 2),     CrowdedImage(37, 45, 3),
          CrowdedImage(5, 200, 4), test::RandomImage(1, 77, 5), test::RandomImage(64, 50, 6)};
}

// Runs kernel(image) with every pool size, both with the pool's own banding
// and with exactly that many bands, and compares each result with expected.
template <typename Kernel>
void ExpectSameForEveryBanding(const Image& picture, const Image& expected, Kernel kernel) {
  for (int threads : kThreadCounts) {
    ThreadPool pool(threads);
    for (int bands : {0, threads}) {
      ScopedBanding banding({&pool, bands});
      Image image = picture;
      kernel(image);
      ASSERT_EQ(image, expected) << picture.Width() << "x" << picture.Height() << ", " << threads
                                 << " threads, bands " << bands;
    }
  }
}

// A target of random counts, some levels empty, of about the picture's size.
THistSet RandomTarget(std::int32_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  THistSet target;
  THist().InitSet(target);
  for (int c : {hcRed, hcGreen, hcBlue}) {
    for (int v = 0; v < 256; ++v)
      target[c][v] = random() % 3 == 0 ? 0 : static_cast<std::int32_t>(random() % (n / 40 + 2));
    target[c].Ready = true;
  }
  return target;
}

TEST(BandedMatch, SameAsScanOrder) {
  std::uint32_t seed = 10;
  for (const Image& picture : Pictures()) {
    const THistSet target = RandomTarget(picture.Width() * picture.Height(), ++seed);
    Image expected = picture;
    MatchHistogramInScanOrder(expected, target);
    ExpectSameForEveryBanding(picture, expected,
                              [&](Image& image) { MatchHistogram(image, target); });
  }
}

TEST(BandedMatch, CrowdedPictureOntoFewTargetLevels) {
  // Every channel's 7 source levels spread over a handful of targets: long
  // move lists per level, consumed across many bands.
  const Image picture = CrowdedImage(3, 300, 7);
  THistSet target;
  THist().InitSet(target);
  for (int c : {hcRed, hcGreen, hcBlue}) {
    for (int v = 10; v < 250; v += 30) target[c][v] = 100 + v;
    target[c].Ready = true;
  }
  Image expected = picture;
  MatchHistogramInScanOrder(expected, target);
  ASSERT_NE(expected, picture);
  ExpectSameForEveryBanding(picture, expected,
                            [&](Image& image) { MatchHistogram(image, target); });
}

using clarivex::ChannelTables;

// Tables of every kind of counter: splits that cover their level, fall
// short of it (the rest stays), or start negative; spreads on the levels the
// split produces.
std::array<ChannelTables, 3> RandomTables(const TLevelCounts& counts, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::array<ChannelTables, 3> tables;
  constexpr int kByte[3] = {2, 1, 0};
  for (int c = 0; c < 3; ++c) {
    for (int v = 0; v < 256; ++v) {
      const std::int32_t n = counts[kByte[c]][v];
      clarivex::TLevelSplit& s = tables[c].Split[v];
      s.Level = static_cast<std::int32_t>(random() % 256);
      s.LowCount = static_cast<std::int32_t>(random() % (n + 2)) - 1;
      s.HighCount =
          random() % 4 == 0 ? n - s.LowCount : static_cast<std::int32_t>(random() % (n + 2)) - 1;
    }
    for (int w = 1; w < 255; ++w)
      if (random() % 2 == 0)
        tables[c].Spread[w] = {static_cast<std::int32_t>(random() % 40),
                               static_cast<std::int32_t>(random() % 40)};
  }
  return tables;
}

// The pass over bands, each band starting from the census of the rows
// above it, gives the bytes of the plain scan that consumes the tables'
// counters from the top row on.
void ExpectBandedPassAsScanOrder(const Image& picture, const std::array<ChannelTables, 3>& tables) {
  Image expected = picture;
  std::array<ChannelTables, 3> consumed = tables;
  clarivex::ApplyTables(expected, consumed);
  ExpectSameForEveryBanding(picture, expected, [&](Image& image) {
    TLevelCensus census;
    TakeCensus(image, PictureBands(image.Height()), census);
    clarivex::ApplyTables(image, tables, census);
  });
}

TEST(BandedClarivexPass, SameAsScanOrderForAnyCounters) {
  std::uint32_t seed = 20;
  for (const Image& picture : Pictures()) {
    TLevelCensus whole;
    TakeCensus(picture, RowBands(picture.Height(), 1), whole);
    ExpectBandedPassAsScanOrder(picture, RandomTables(whole.Total, ++seed));
  }
}

TEST(BandedClarivexPass, SameAsScanOrderForRealTables) {
  // Crowded levels in a narrow range: both ends empty, a stretch with many
  // spread levels.
  for (std::uint8_t strength : {1, 2, 3}) {
    for (const Image& crowded : Pictures()) {
      Image picture = crowded;
      for (std::size_t i = 0; i < picture.ByteSize(); ++i)
        picture.Data()[i] = static_cast<std::uint8_t>(60 + picture.Data()[i] / 3);
      TLevelCensus whole;
      TakeCensus(picture, RowBands(picture.Height(), 1), whole);
      const std::int32_t n = picture.Width() * picture.Height();
      std::array<ChannelTables, 3> tables;
      constexpr int kByte[3] = {2, 1, 0};
      for (int c = 0; c < 3; ++c) {
        const clarivex::Counts& counts = whole.Total[kByte[c]];
        const TEmptyAreaCh area = clarivex::FindEmptyAreas(counts, n, strength);
        clarivex::BuildSplit(clarivex::BuildLevelMap(area), counts, tables[c]);
        clarivex::BuildPeakSpread(area, counts, tables[c]);
      }
      ExpectBandedPassAsScanOrder(picture, tables);
    }
  }
}

TEST(BandedCensus, TotalsAndPrefixesAddUp) {
  const Image picture = CrowdedImage(13, 50, 30);
  TLevelCensus whole;
  TakeCensus(picture, RowBands(50, 1), whole);
  for (int bands : {2, 3, 7, 50}) {
    TLevelCensus census;
    TakeCensus(picture, RowBands(50, bands, 1), census);
    ASSERT_EQ(census.Bands.Count(), bands);
    EXPECT_EQ(census.Total, whole.Total);
    for (int b = 0; b < bands; ++b) {
      TLevelCounts rowsAbove;
      CountLevels(picture, 0, census.Bands.Begin(b), rowsAbove);
      EXPECT_EQ(census.Before[static_cast<std::size_t>(b)], rowsAbove) << b;
    }
  }
}

TEST(BandedLimits, SameAsOneScan) {
  for (const Image& picture : Pictures()) {
    Image moved = test::RandomImage(picture.Width(), picture.Height(), 40);
    for (std::int32_t limit : {0, 11, 51}) {
      Image expected = moved;
      const TChangeTops tops = MeasureChanges(expected, picture, 0, picture.Height());
      ApplyChangeCuts(expected, picture, PlanChangeCuts(tops, limit, limit + 10), 0,
                      picture.Height());
      ExpectSameForEveryBanding(
          moved, expected, [&](Image& image) { LimitChanges(image, picture, limit, limit + 10); });
    }
    Image expected = moved;
    RestoreColorRatioRows(expected, picture, 0, picture.Height());
    ExpectSameForEveryBanding(moved, expected,
                              [&](Image& image) { RestoreColorRatios(image, picture); });
  }
}

TEST(BandedCopy, LargePicturesCopyWholeOnAnyPool) {
  const Image picture = test::RandomImage(700, 601, 9);  // above the size copied by bands
  for (int threads : kThreadCounts) {
    ThreadPool pool(threads);
    ScopedBanding banding({&pool, threads});
    Image copy(3, 2);
    copy.Assign(picture);
    ASSERT_EQ(copy, picture) << threads << " threads";
  }
}

TEST(BandedStretch, SameAsOneScanWhenReducingAndEnlarging) {
  for (const Image& picture : Pictures()) {
    for (const auto& [width, height] : {std::pair{7, 3}, std::pair{150, 90}}) {
      Image expected(width, height);
      {
        ThreadPool serial(1);
        ScopedBanding banding({&serial, 1});
        StretchNearest(picture, expected);
      }
      for (int threads : kThreadCounts) {
        ThreadPool pool(threads);
        ScopedBanding banding({&pool, threads});
        Image target(width, height);
        StretchNearest(picture, target);
        ASSERT_EQ(target, expected) << width << "x" << height << ", " << threads << " threads";
      }
    }
  }
}

}  // namespace
}  // namespace tavren
