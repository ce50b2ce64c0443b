#include "lumora/landmarks.h"

#include <gtest/gtest.h>

namespace tavren {
namespace {

THistogram Flat(std::int32_t count) {
  THistogram h;
  for (int i = 0; i <= 255; ++i) h[i] = count;
  h.Ready = true;
  return h;
}

TEST(Valleys, RunsLongerThanFiveLevelsWithWeights) {
  THistogram h = Flat(1000);
  h.PeakCountClipped = 1000;                  // threshold 70
  for (int i = 50; i < 55; ++i) h[i] = 10;    // five levels: dropped
  for (int i = 100; i < 106; ++i) h[i] = 10;  // six levels: weight 1/3
  for (int i = 200; i < 230; ++i) h[i] = 0;   // thirty levels: weight 1
  const TValley1 valleys = FindValleys(h);
  ASSERT_EQ(valleys.size(), 2u);
  EXPECT_EQ(valleys[0].StartLevel, 100);
  EXPECT_EQ(valleys[0].EndLevel, 106);
  EXPECT_DOUBLE_EQ(valleys[0].Weight, static_cast<double>(6.0L / 18));
  EXPECT_EQ(valleys[1].StartLevel, 200);
  EXPECT_EQ(valleys[1].EndLevel, 230);
  EXPECT_EQ(valleys[1].Weight, 1.0);
}

TEST(Valleys, RunReachingTheTopEndsAtHigh) {
  THistogram h = Flat(1000);
  h.PeakCountClipped = 1000;
  for (int i = 240; i <= 255; ++i) h[i] = 0;
  const TValley1 valleys = FindValleys(h);
  ASSERT_EQ(valleys.size(), 1u);
  EXPECT_EQ(valleys[0].StartLevel, 240);
  EXPECT_EQ(valleys[0].EndLevel, 255);
}

TEST(Ledges, SteepIsolatedPeakIsFoundWithWidenedFlanks) {
  THist hist;
  THistogram h = Flat(100);
  h[120] = 400;
  h[121] = 2000;
  h[122] = 400;
  hist.UpdatePeaks(h, true);
  const TMiddle1 standard = FindLedges(hist, h, 256 * 100, 0);
  ASSERT_EQ(standard.size(), 1u);
  EXPECT_EQ(standard[0].Pos, 121);
  EXPECT_GT(standard[0].LeftWidth, 0);
  EXPECT_GT(standard[0].RightWidth, 0);
  EXPECT_LE(standard[0].LeftSlope, 1.0);
  EXPECT_GT(standard[0].LeftSlope, 0.0);
  // Artifact suppression doubles the widths.
  const TMiddle1 doubled = FindLedges(hist, h, 256 * 100, 100);
  ASSERT_EQ(doubled.size(), 1u);
  EXPECT_EQ(doubled[0].LeftWidth, 2 * standard[0].LeftWidth);
  EXPECT_EQ(doubled[0].RightWidth, 2 * standard[0].RightWidth);
}

TEST(Ledges, PlateausAndGentleHillsAreNotLedges) {
  THist hist;
  THistogram plateau = Flat(100);
  plateau[80] = plateau[81] = 3000;  // equal tops: no local maximum
  hist.UpdatePeaks(plateau, true);
  EXPECT_TRUE(FindLedges(hist, plateau, 30000, 0).empty());

  THistogram hill = Flat(1000);
  for (int i = 0; i <= 255; ++i) hill[i] = 1000 + 10 * (128 - std::abs(i - 128));
  hist.UpdatePeaks(hill, true);
  EXPECT_TRUE(FindLedges(hist, hill, 300000, 0).empty());
}

TEST(Ledges, PeakInsideAnotherLedgesSpanIsDropped) {
  THist hist;
  THistogram h = Flat(10);
  for (int i = 90; i <= 110; ++i) h[i] = 300;
  h[98] = 3000;
  h[102] = 2900;
  hist.UpdatePeaks(h, true);
  // 102 lies within the right flank of 98; 98 lies outside 102's left
  // flank, which ends below the higher top.
  const TMiddle1 ledges = FindLedges(hist, h, 20000, 0);
  ASSERT_EQ(ledges.size(), 1u);
  EXPECT_EQ(ledges[0].Pos, 98);
}

}  // namespace
}  // namespace tavren
