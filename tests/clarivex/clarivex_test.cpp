#include <gtest/gtest.h>

#include <cmath>

#include "clarivex/clarivex_tables.h"
#include "picture_io/picture_files.h"
#include "support/test_support.h"

namespace tavren::clarivex {
namespace {

Counts Flat(std::int32_t count) {
  Counts c;
  c.fill(count);
  return c;
}

TEST(ClarivexAnalysis, ThresholdTies) {
  EXPECT_EQ(TailThreshold(500, 2), 1);
  EXPECT_EQ(TailThreshold(1500, 2), 2);
  EXPECT_EQ(TailThreshold(2500, 1), 3);
  EXPECT_EQ(TailThreshold(50, 3), 0);
  EXPECT_EQ(TailThreshold(150, 3), 2);
  EXPECT_EQ(TailThreshold(250, 3), 2);
  EXPECT_EQ(TailThreshold(350, 3), 4);
  EXPECT_EQ(TailThreshold(200 * 150, 2), 30);
  EXPECT_EQ(TailThreshold(200 * 150, 3), 300);
}

TEST(ClarivexAnalysis, DarkAreaBoundaries) {
  Counts c = Flat(1000);
  c[0] = 30;  // equal to T = 30: no area
  EXPECT_FALSE(FindEmptyAreas(c, 30000, 2).LowActive);
  EXPECT_EQ(FindEmptyAreas(c, 30000, 2).LowTo, -1);
  c[0] = 10;
  c[1] = 20;  // C[0] + C[1] = T: level 1 belongs to the area
  c[2] = c[3] = 0;
  const TEmptyAreaCh e = FindEmptyAreas(c, 30000, 2);
  EXPECT_TRUE(e.LowActive);
  EXPECT_EQ(e.LowFrom, 0);
  EXPECT_EQ(e.LowTo, 3);
}

TEST(ClarivexAnalysis, SpanAndWeakHalving) {
  Counts c = Flat(1000);
  for (int i = 0; i <= 2; ++i) c[i] = 0;
  EXPECT_FALSE(FindEmptyAreas(c, 256000, 2).LowActive);  // 0..2: span 2
  c[3] = 0;
  EXPECT_TRUE(FindEmptyAreas(c, 256000, 2).LowActive);  // 0..3: span 3
  for (int i = 0; i <= 5; ++i) c[i] = 0;
  EXPECT_EQ(FindEmptyAreas(c, 256000, 1).LowTo, 2);  // Round(2.5) = 2: dropped
  EXPECT_FALSE(FindEmptyAreas(c, 256000, 1).LowActive);
  c[6] = c[7] = 0;
  const TEmptyAreaCh weak = FindEmptyAreas(c, 256000, 1);
  EXPECT_EQ(weak.LowTo, 4);  // Round(3.5) = 4
  EXPECT_TRUE(weak.LowActive);
  for (int i = 250; i <= 255; ++i) c[i] = 0;
  const TEmptyAreaCh bright = FindEmptyAreas(c, 256000, 1);
  EXPECT_EQ(bright.HighFrom, 253);  // 255 - Round(2.5)
  EXPECT_FALSE(bright.HighActive);
}

TEST(ClarivexAnalysis, Suppression) {
  TEmptyAreaT areas;
  areas.Ch[0] = {0, 10, true, -1, -1, false};
  areas.Ch[1] = {0, 4, true, -1, -1, false};
  areas.Ch[2] = {-1, -1, false, -1, -1, false};
  SuppressColorDistortion(areas);
  for (const TEmptyAreaCh& e : areas.Ch) {
    EXPECT_EQ(e.LowTo, 4);
    EXPECT_EQ(e.HighFrom, 255);  // no bright area anywhere
  }
  EXPECT_FALSE(areas.Ch[2].LowActive);
  areas.Ch[0].HighActive = true;
  areas.Ch[0].HighFrom = 240;
  areas.Ch[2].HighActive = true;
  areas.Ch[2].HighFrom = 250;
  SuppressColorDistortion(areas);
  for (const TEmptyAreaCh& e : areas.Ch) EXPECT_EQ(e.HighFrom, 250);
}

TEST(ClarivexLevelMap, DarkAreaOnly) {
  const LevelMap m = BuildLevelMap({0, 4, true, -1, -1, false});
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(m[i], 0);
  EXPECT_NEAR(m[5], 0.02, 1e-12);
  EXPECT_NEAR(m[6], 1.05984, 1e-12);
  EXPECT_NEAR(m[7], 2.09952, 1e-12);
  EXPECT_NEAR(m[130], 128.76, 1e-9);
  EXPECT_NEAR(m[254], 254, 1e-9);
  EXPECT_NEAR(m[255], 255, 1e-9);
}

TEST(ClarivexLevelMap, BothAreasAroundThePivot) {
  const LevelMap m = BuildLevelMap({0, 9, true, 246, 255, true});
  EXPECT_NEAR(m[10], 0.08475, 5e-6);
  EXPECT_NEAR(m[11], 1.25280, 5e-6);
  // The stretches meet at the pivot p = 128: p and p + 1 keep their
  // values (up to the last bit of the recurrences).
  EXPECT_NEAR(m[127], 127, 1e-9);
  EXPECT_EQ(m[128], 128);
  EXPECT_NEAR(m[129], 129, 1e-9);
  EXPECT_NEAR(m[245], 254.91379, 5e-6);
  for (int i = 246; i <= 255; ++i) EXPECT_EQ(m[i], 255);
  // Dw = 4, Bw = 12: the pivot is Trunc(64) = 64.
  const LevelMap narrow = BuildLevelMap({0, 3, true, 244, 255, true});
  EXPECT_NEAR(narrow[64], 64, 1e-9);
  EXPECT_NEAR(narrow[65], 65, 1e-9);
  const LevelMap none = BuildLevelMap({});
  for (int i = 0; i < 256; ++i) EXPECT_EQ(none[i], i);
}

TEST(ClarivexSplit, SharesAndTies) {
  LevelMap m = BuildLevelMap({0, 9, true, 246, 255, true});
  Counts c{};
  c[11] = 1000;
  ChannelTables t;
  BuildSplit(m, c, t);
  EXPECT_EQ(t.Split[11].Level, 1);
  EXPECT_EQ(t.Split[11].LowCount, 747);
  EXPECT_EQ(t.Split[11].HighCount, 253);
  EXPECT_EQ(t.Predicted[1], 747);
  EXPECT_EQ(t.Predicted[2], 253);

  LevelMap half{};
  half[0] = 1.5;
  Counts three{};
  three[0] = 3;
  BuildSplit(half, three, t);
  EXPECT_EQ(t.Split[0].LowCount, 2);
  EXPECT_EQ(t.Split[0].HighCount, 1);
  three[0] = 5;
  BuildSplit(half, three, t);
  EXPECT_EQ(t.Split[0].LowCount, 2);
  EXPECT_EQ(t.Split[0].HighCount, 3);
}

TEST(ClarivexSpread, WorkedExampleGivesSixtyTwo) {
  Counts c{};
  for (int i = 98; i <= 102; ++i) c[i] = 100;
  ChannelTables t;
  t.Rounded.fill(0);
  t.Rounded[100] = 50;
  const std::int32_t q[] = {50, 60, 300, 40, 50};
  for (int k = 0; k < 5; ++k) t.Predicted[48 + k] = q[k];
  BuildPeakSpread({}, c, t);
  EXPECT_EQ(t.Spread[50].Lower, 62);
  EXPECT_EQ(t.Spread[50].Raise, 62);
  // A later input level on the same output level overwrites the entry.
  c[200] = 100;
  t.Rounded[200] = 50;
  BuildPeakSpread({}, c, t);
  // Its neighbours are empty, so q = 1 and e = 300 - 200 = 100;
  // s = Round(Min(125, 100) / 2) = 50.
  EXPECT_EQ(t.Spread[50].Lower, 50);
  EXPECT_EQ(t.Spread[50].Raise, 50);
}

TEST(ClarivexApply, SplitThenSpreadInScanOrder) {
  Image image(10, 1);
  for (int x = 0; x < 10; ++x) image.Row(0)[3 * x + 2] = 7;
  std::array<ChannelTables, 3> tables;
  for (ChannelTables& t : tables)
    for (int v = 0; v < 256; ++v) t.Split[v] = {v, 0, 0};  // leave bytes as they are
  tables[0].Split[7] = {20, 4, 6};                         // four pixels to 20, six to 21
  tables[0].Spread[21] = {1, 2};                           // of those on 21: one down, two up
  ApplyTables(image, tables);
  const int expected[] = {20, 20, 20, 20, 20, 22, 22, 21, 21, 21};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(image.Row(0)[3 * x + 2], expected[x]) << x;
}

TEST(Clarivex, OffAndEmptyLeaveEverything) {
  const Image original = test::RandomImage(30, 20, 4);
  TClarivex clarivex;
  for (std::uint8_t strength : {0, 4, 255}) {
    Image image = original;
    clarivex.Process(image, strength, false);
    EXPECT_EQ(image, original);
  }
  Image empty;
  clarivex.Process(empty, 2, false);
  EXPECT_EQ(empty.Width(), 0);
}

TEST(Clarivex, FullRangePictureComesBackUnchanged) {
  // Every channel has more than T pixels at both ends.
  Image image = test::RandomImage(200, 150, 9);
  const Image original = image;
  TClarivex().Process(image, 3, true);
  EXPECT_EQ(image, original);
}

// After the split (before the spread), each channel's histogram is the
// predicted one, and the spread moves at most 2s pixels per spread level.
void CheckSplitMatchesPrediction(const Image& picture, std::uint8_t strength) {
  std::int32_t n = 0;
  ASSERT_TRUE(ImagePixelCount(picture, n));
  THistSet hists;
  THist().Gather(picture, hists);
  const int channel[3] = {hcRed, hcGreen, hcBlue};
  std::array<ChannelTables, 3> tables;
  std::array<Counts, 3> counts;
  for (int c = 0; c < 3; ++c) {
    std::copy_n(hists[channel[c]].Bins.begin(), 256, counts[c].begin());
    BuildSplit(BuildLevelMap(FindEmptyAreas(counts[c], n, strength)), counts[c], tables[c]);
  }
  std::array<ChannelTables, 3> splitOnly = tables;
  for (ChannelTables& t : splitOnly) t.Spread.fill(TPeakSpread{});
  Image image = picture;
  ApplyTables(image, splitOnly);
  THistSet after;
  THist().Gather(image, after);
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < 256; ++v)
      ASSERT_EQ(after[channel[c]][v], tables[c].Predicted[v]) << c << " " << v;
}

TEST(Clarivex, SplitGivesThePredictedHistogramOnRealPhotos) {
  TAVREN_REQUIRE_CORPUS();
  for (const char* name : {"camera/Canon_PowerShot_S40.jpg", "gps/DSCN0021.jpg",
                           "exif-org/kodak-dc240.jpg", "exif-org/olympus-c960.jpg"})
    for (std::uint8_t strength : {1, 2, 3})
      CheckSplitMatchesPrediction(LoadPicture((test::CorpusDir() / name).string()), strength);
}

TEST(Clarivex, StretchesAHazyPicture) {
  // Values only in 40..200: both ends are empty and get stretched.
  Image image = test::RandomImage(120, 80, 2);
  for (std::size_t i = 0; i < image.ByteSize(); ++i)
    image.Data()[i] = static_cast<std::uint8_t>(40 + image.Data()[i] * 160 / 255);
  TClarivex clarivex;
  clarivex.Process(image, 2, false);
  THistSet hists;
  THist().Gather(image, hists);
  for (int c : {hcRed, hcGreen, hcBlue}) {
    EXPECT_GT(hists[c][0] + hists[c][1], 0);
    EXPECT_GT(hists[c][255] + hists[c][254], 0);
  }
  EXPECT_TRUE(clarivex.EmptyAreas().Ch[0].LowActive);
  EXPECT_TRUE(clarivex.EmptyAreas().Ch[0].HighActive);
}

}  // namespace
}  // namespace tavren::clarivex
