#include <gtest/gtest.h>

#include <numeric>

#include "histogram/hist.h"

namespace tavren {
namespace {

THistogram Counts(std::initializer_list<std::int32_t> counts) {
  THistogram h;
  int i = 0;
  for (std::int32_t c : counts) h[i++] = c;
  h.High = i - 1;
  return h;
}

TEST(Normalize, ResidueGoesToLowestNonEmptyLevels) {
  THist hist;
  THistogram a = Counts({1, 1, 1});
  hist.Normalize(a, 4);
  EXPECT_EQ(a[0], 2);
  EXPECT_EQ(a[1], 1);
  EXPECT_EQ(a[2], 1);

  THistogram b = Counts({1, 1});
  hist.Normalize(b, 3);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[1], 2);

  THistogram c = Counts({0, 5, 0});
  hist.Normalize(c, 7);
  EXPECT_EQ(c[0], 0);
  EXPECT_EQ(c[1], 7);
  EXPECT_EQ(c[2], 0);
}

TEST(Normalize, EmptyOrZeroTotalStaysAndPeakIsScaled) {
  THist hist;
  THistogram empty = Counts({0, 0, 0});
  hist.Normalize(empty, 10);
  EXPECT_EQ(empty[1], 0);

  THistogram h = Counts({2, 4});
  h.PeakCount = 4;
  h.PeakCountClipped = 3;
  hist.Normalize(h, 0);
  EXPECT_EQ(h[1], 4);
  hist.Normalize(h, 12);
  EXPECT_EQ(h[0], 4);
  EXPECT_EQ(h[1], 8);
  EXPECT_EQ(h.PeakCount, 8);
  EXPECT_EQ(h.PeakCountClipped, 3);
}

TEST(Normalize, NegativeTotalLeavesCountsAlone) {
  // Five counts of 1 towards -3 would round to -1 each and leave a residue
  // that no positive count could absorb.
  THist hist;
  THistogram h = Counts({1, 1, 1, 1, 1});
  hist.Normalize(h, -3);
  for (int v = 0; v < 5; ++v) EXPECT_EQ(h[v], 1);
}

TEST(Template, ShapeAndRescaling) {
  const auto& t = TemplateHistogram();
  EXPECT_EQ(std::accumulate(t.begin(), t.end(), 0LL), 7643492);
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[255], 0);
  EXPECT_EQ(t[127], 39034);
  EXPECT_EQ(t[128], 39034);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(t[v], t[255 - v]);

  THist hist;
  THistogram same;
  hist.InitHistogram(same);
  hist.FromTemplate(same, 7643492);
  EXPECT_TRUE(same.Ready);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(same[v], t[v]);

  THistogram twice;
  hist.InitHistogram(twice);
  hist.FromTemplate(twice, 2 * 7643492);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(twice[v], 2 * t[v]);

  THistogram raw;
  hist.InitHistogram(raw);
  hist.FromTemplate(raw, 0);
  EXPECT_TRUE(raw.Ready);
  EXPECT_EQ(raw[127], 39034);

  THistogram small;
  hist.InitHistogram(small);
  hist.FromTemplate(small, 1001);
  std::int64_t total = 0;
  for (int v = 0; v < 256; ++v) total += small[v];
  EXPECT_EQ(total, 1001);
}

TEST(SampleRatio, PixelsOverTotal) {
  THist hist;
  THistogram h;
  h[5] = 50;
  EXPECT_EQ(hist.SampleRatio(Image(10, 10), h), 2.0);
  EXPECT_EQ(hist.SampleRatio(Image(), h), 0.0);
  EXPECT_EQ(hist.SampleRatio(Image(3, 3), THistogram{}), 0.0);
  h[5] = 3;
  EXPECT_EQ(hist.SampleRatio(Image(1, 1), h), static_cast<double>(1.0L / 3));
}

}  // namespace
}  // namespace tavren
