#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "histogram/hist.h"

namespace tavren {
namespace {

THistogram Ready() {
  THistogram h;
  h.Ready = true;
  return h;
}

std::int64_t Total(const THistogram& h) {
  return std::accumulate(h.Bins.begin() + h.Low, h.Bins.begin() + h.High + 1, 0LL);
}

TEST(Landmarks, LocalMaximumNeedsToBeStrictlyHighest) {
  THist hist;
  THistogram h = Ready();
  h[10] = 5;
  h[12] = 5;  // a plateau two levels apart: neither is a maximum
  h[50] = 9;
  h[52] = 8;
  EXPECT_FALSE(hist.IsLocalMaximum(h, 10));
  EXPECT_FALSE(hist.IsLocalMaximum(h, 12));
  EXPECT_TRUE(hist.IsLocalMaximum(h, 50));
  EXPECT_FALSE(hist.IsLocalMaximum(h, 52));
  h[0] = 1;
  EXPECT_TRUE(hist.IsLocalMaximum(h, 0));  // neighbours outside the range do not count
}

TEST(Landmarks, SpikeTestAtEndsAndInside) {
  THist hist;
  THistogram h = Ready();
  std::int32_t mean = -1;
  // An end bin of exactly 0.05 % of N passes, even below its neighbours.
  h[0] = 10;
  h[1] = 500;
  h[2] = 500;
  EXPECT_TRUE(hist.IsSpike(h, 0, 20000, mean));
  EXPECT_EQ(mean, 500);
  EXPECT_FALSE(hist.IsSpike(h, 0, 20001, mean));
  // Inside: more than 1.7 times the neighbours' mean and large enough.
  h[100] = 171;
  h[98] = h[99] = h[101] = h[102] = 100;
  EXPECT_TRUE(hist.IsSpike(h, 100, 1000, mean));
  h[100] = 170;
  EXPECT_FALSE(hist.IsSpike(h, 100, 1000, mean));
}

TEST(Landmarks, RemoveSpikesClearsIsolatedLevelsAndSeesItsOwnChanges) {
  THist hist;
  THistogram h = Ready();
  h[100] = 100;  // 1 % of N between empty levels
  hist.RemoveSpikes(h, 10000);
  EXPECT_EQ(h[100], 0);

  THistogram notReady;
  notReady[100] = 100;
  hist.RemoveSpikes(notReady, 10000);
  EXPECT_EQ(notReady[100], 100);

  // Level 0 is replaced by the mean of levels 1 and 2 first; level 1 then
  // sees the new level 0 among its neighbours.
  THistogram end = Ready();
  end[0] = 1000;
  end[1] = 400;
  end[2] = 100;
  end[3] = 100;
  hist.RemoveSpikes(end, 10000);
  EXPECT_EQ(end[0], 250);
  EXPECT_EQ(end[1], 150);  // 400 over the mean of 250, 100, 100 is a spike now
}

TEST(Landmarks, EdgeWidthWithoutPileUpIsZero) {
  THist hist;
  THistogram h = Ready();
  for (int i = 0; i <= 255; ++i) h[i] = 100;
  h[0] = h[255] = 10;  // below 0.05 % of the pixels: no pile-up
  EXPECT_EQ(hist.EdgeWidth(h, TEnd::Dark, 256 * 100, 0), 0);
  EXPECT_EQ(hist.EdgeWidth(h, TEnd::Bright, 256 * 100, 0), 0);
}

TEST(Landmarks, EdgeWidthTallEndOverLowShoulderCollapses) {
  THist hist;
  THistogram h = Ready();
  h[0] = 1000;
  h[1] = 10;
  h[2] = 1000;
  for (int i = 3; i <= 255; ++i) h[i] = 1000;
  // x = 100: the correction Trunc(20 - 29.7 - 1) = -10 gives 1 - 10 + 9 = 0.
  EXPECT_EQ(hist.EdgeWidth(h, TEnd::Dark, 2000000, 0), 0);
  EXPECT_EQ(hist.EdgeWidth(h, TEnd::Dark, 2000000, 50), 0);
}

TEST(Landmarks, EdgeWidthAdjustment) {
  EXPECT_EQ(AdjustEdgeWidth(20, 50), 35);  // E = Round(1500 / 20) = 75
  EXPECT_EQ(AdjustEdgeWidth(20, -50), 10);
  EXPECT_EQ(AdjustEdgeWidth(20, 0), 20);
  EXPECT_EQ(AdjustEdgeWidth(20, -100), 0);
  EXPECT_EQ(AdjustEdgeWidth(0, 50), 0);
  EXPECT_EQ(AdjustEdgeWidth(-3, 0), -3);  // a negative width stays: that end is not protected
}

TEST(Landmarks, EdgeWidthOfAShoulder) {
  THist hist;
  THistogram h = Ready();
  // A clipped bright end with a falling shoulder over a flat body.
  for (int i = 0; i <= 255; ++i) h[i] = 100;
  h[255] = 5000;
  for (int k = 1; k <= 5; ++k) h[255 - k] = 1000 - 150 * k;
  const std::int32_t width = hist.EdgeWidth(h, TEnd::Bright, 30000, 0);
  EXPECT_GT(width, 9);
  EXPECT_LT(width, 40);
  EXPECT_EQ(hist.EdgeWidth(h, TEnd::Bright, 30000, -100), 0);
}

TEST(Landmarks, PeakHalfWidthAtRangeEnds) {
  THist hist;
  THistogram h = Ready();
  h[0] = 1000;
  EXPECT_EQ(hist.PeakHalfWidth(h, 0, TSide::Left), 0);
  h[255] = 1000;
  EXPECT_EQ(hist.PeakHalfWidth(h, 255, TSide::Right), 0);
  // A narrow peak: the second level out falls below 5 % of the top and
  // still counts to the width.
  THistogram p = Ready();
  for (int i = 0; i <= 255; ++i) p[i] = 10;
  p[100] = 1000;
  EXPECT_EQ(hist.PeakHalfWidth(p, 100, TSide::Right), 2);
  EXPECT_EQ(hist.PeakHalfWidth(p, 100, TSide::Left), 2);
  // A neighbour as high as the top ends the search at once.
  p[101] = 1000;
  EXPECT_EQ(hist.PeakHalfWidth(p, 100, TSide::Right), 0);
}

TEST(SmoothShape, KeepsTheTotalAndFillsFromTheBody) {
  THist hist;
  THistogram h = Ready();
  for (int i = 40; i <= 200; ++i) h[i] = 1000 + (i % 7) * 300;
  THistogram r;
  hist.SmoothShape(h, r, 123457, 16, 8);
  EXPECT_TRUE(r.Ready);
  EXPECT_EQ(Total(r), 123457);
  for (int i = 0; i <= 255; ++i) EXPECT_GE(r[i], 0);
  // The saw tooth of the input is smoothed away in the body.
  EXPECT_LT(std::abs(r[120] - r[121]), 40);
}

TEST(SmoothShape, OneLevelSpreadsAroundIt) {
  THist hist;
  THistogram h = Ready();
  h[100] = 5000;
  THistogram r;
  hist.SmoothShape(h, r, 5000, 16, 8);
  EXPECT_EQ(Total(r), 5000);
  EXPECT_GT(r[99], 0);
  EXPECT_GT(r[101], 0);
  EXPECT_EQ(r[100], *std::max_element(r.Bins.begin(), r.Bins.begin() + 256));
  // Both tails are cut at 100, so from the third pass on every level is
  // frozen: the counts spread only over the first two passes.
  EXPECT_EQ(r[60], 0);
  EXPECT_EQ(r[140], 0);
}

TEST(SmoothShape, ClippedDarkEndDoesNotSag) {
  THist hist;
  THistogram h = Ready();
  for (int i = 0; i <= 255; ++i) h[i] = 1000;
  THistogram r;
  hist.SmoothShape(h, r, 256000, 16, 8);
  // A flat histogram stays flat up to the ends, thanks to the virtual bins.
  EXPECT_NEAR(r[0], 1000, 5);
  EXPECT_NEAR(r[255], 1000, 5);
  EXPECT_NEAR(r[128], 1000, 5);
}

TEST(SmoothShape, NoPassesNoRadiusAndEmptyInput) {
  THist hist;
  THistogram h = Ready();
  h[0] = 1;  // a sparse tail, cut
  for (int i = 10; i <= 20; ++i) h[i] = 10000;
  THistogram r;
  hist.SmoothShape(h, r, 110001, 0, 8);
  EXPECT_EQ(r[0], 0);
  EXPECT_EQ(r[10], 10001);  // the cut count goes back to the lowest level
  EXPECT_EQ(Total(r), 110001);

  THistogram untouched;
  untouched[7] = 77;
  hist.SmoothShape(h, untouched, 4000, 16, 0);
  EXPECT_EQ(untouched[7], 77);
  THistogram notReady = h;
  notReady.Ready = false;
  hist.SmoothShape(notReady, untouched, 4000, 16, 8);
  EXPECT_EQ(untouched[7], 77);

  // A histogram with no counts gives an empty shape and does not hang.
  THistogram empty = Ready();
  THistogram e;
  hist.SmoothShape(empty, e, 4000, 16, 8);
  EXPECT_TRUE(e.Ready);
  EXPECT_EQ(Total(e), 0);
}

}  // namespace
}  // namespace tavren
