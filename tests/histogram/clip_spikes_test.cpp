#include <gtest/gtest.h>

#include "histogram/hist.h"

namespace tavren {
namespace {

THistogram Histogram(std::initializer_list<std::pair<int, std::int32_t>> counts,
                     std::int32_t background = 0) {
  THistogram h;
  for (int i = 0; i <= 255; ++i) h[i] = background;
  for (auto [level, count] : counts) h[level] = count;
  return h;
}

TEST(ClipSpikes, TallSpikeOverNineStepsIsCutTo945) {
  THistogram h = Histogram({{10, 10000},
                            {20, 900},
                            {30, 800},
                            {40, 700},
                            {50, 600},
                            {60, 500},
                            {70, 400},
                            {80, 300},
                            {90, 200},
                            {100, 100}},
                           50);
  THist hist;
  THistogram clipped = h;
  hist.ClipSpikes(clipped);
  EXPECT_EQ(clipped[10], 945);
  for (int i = 0; i <= 255; ++i) {
    if (i == 10) continue;
    EXPECT_EQ(clipped[i], h[i]) << i;
  }
  hist.UpdatePeaks(h, true);
  EXPECT_EQ(h.PeakCount, 10000);
  EXPECT_EQ(h.PeakCountClipped, 945);
  EXPECT_EQ(h[10], 10000);  // the stored bins are not touched
}

TEST(ClipSpikes, TenEqualSpikesAreNotCut) {
  THistogram h;
  for (int k = 0; k < 10; ++k) h[20 * k + 5] = 5000;
  for (int i = 0; i <= 255; ++i)
    if (h[i] == 0) h[i] = 1000;  // below V / 2
  THist hist;
  hist.UpdatePeaks(h, true);
  EXPECT_EQ(h.PeakCount, 5000);
  EXPECT_EQ(h.PeakCountClipped, 5000);
}

TEST(ClipSpikes, TenAtHundredAndFiveAtNinetyNineStopAtT99) {
  // The search ends at T = 99 with fifteen levels; the ten lowest of them
  // give the heights, and with two distinct heights nothing is cut.
  THistogram h;
  for (int k = 0; k < 10; ++k) h[10 + k] = 100;
  for (int k = 0; k < 5; ++k) h[100 + k] = 99;
  THistogram clipped = h;
  THist().ClipSpikes(clipped);
  for (int i = 0; i <= 255; ++i) EXPECT_EQ(clipped[i], h[i]);
}

TEST(ClipSpikes, CountsOfOnlyZeroAndOne) {
  THist hist;
  THistogram withZero;
  for (int i = 0; i <= 255; ++i) withZero[i] = i % 2;
  hist.UpdatePeaks(withZero, true);
  EXPECT_EQ(withZero.PeakCount, 1);
  EXPECT_EQ(withZero.PeakCountClipped, 0);

  THistogram allOnes;
  for (int i = 0; i <= 255; ++i) allOnes[i] = 1;
  hist.UpdatePeaks(allOnes, true);
  EXPECT_EQ(allOnes.PeakCountClipped, 1);
}

TEST(ClipSpikes, SmallRangesAndEmptyHistogramsStay) {
  THist hist;
  THistogram small;
  small.High = 9;
  small[3] = 1000;
  THistogram copy = small;
  hist.ClipSpikes(copy);
  EXPECT_EQ(copy[3], 1000);

  THistogram empty;
  hist.UpdatePeaks(empty, true);
  EXPECT_EQ(empty.PeakCount, 0);
  EXPECT_EQ(empty.PeakCountClipped, 0);
}

TEST(ClipSpikes, PeakFlags) {
  THist hist;
  THistogram h = Histogram({{10, 10000},
                            {20, 900},
                            {30, 800},
                            {40, 700},
                            {50, 600},
                            {60, 500},
                            {70, 400},
                            {80, 300},
                            {90, 200},
                            {100, 100}},
                           50);
  hist.UpdatePeaks(h, false);
  EXPECT_EQ(h.PeakCountClipped, h.PeakCount);

  THistSet set{};
  hist.InitSet(set);
  set[hcRed] = h;
  set[hcRed].PeakCountClipped = 123;
  hist.UpdatePeaksAll(set, false);
  EXPECT_EQ(set[hcRed].PeakCount, 10000);
  EXPECT_EQ(set[hcRed].PeakCountClipped, 123);
  hist.UpdatePeaksAll(set, true);
  EXPECT_EQ(set[hcRed].PeakCountClipped, 945);
}

TEST(ClipSpikes, SpacingIsReadFromDistinctHeights) {
  // Heights 1000, 1000, 500, 400, 300, ...: the four largest distinct ones
  // are 1000, 500, 400, 300, so the cut is Round(367 x 1.05) = 385.
  THistogram h = Histogram({{10, 1000},
                            {20, 1000},
                            {30, 500},
                            {40, 400},
                            {50, 300},
                            {60, 200},
                            {70, 150},
                            {80, 120},
                            {90, 110},
                            {100, 100}},
                           50);
  THist().ClipSpikes(h);
  for (int level : {10, 20, 30, 40}) EXPECT_EQ(h[level], 385) << level;
  EXPECT_EQ(h[50], 300);
}

TEST(ClipSpikes, MarginIsTheExtendedNearestTo105) {
  // L = 910; 910 x 1.05 in extended lies just below 955.5, so the cut is 955
  // (a double 1.05 would give 956).
  THistogram h = Histogram({{10, 10000},
                            {20, 910},
                            {30, 800},
                            {40, 700},
                            {50, 600},
                            {60, 500},
                            {70, 400},
                            {80, 300},
                            {90, 200},
                            {100, 100}},
                           50);
  THist().ClipSpikes(h);
  EXPECT_EQ(h[10], 955);
  EXPECT_EQ(h[20], 910);
}

}  // namespace
}  // namespace tavren
