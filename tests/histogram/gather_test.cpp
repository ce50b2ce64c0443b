#include <gtest/gtest.h>

#include "histogram/hist.h"
#include "support/test_support.h"

namespace tavren {
namespace {

TEST(Gather, OneBlackPixel) {
  THist hist;
  THistSet set;
  hist.Gather(Image(1, 1), set);
  for (int c : {hcRed, hcGreen, hcBlue}) {
    EXPECT_EQ(set[c][0], 1);
    EXPECT_EQ(set[c].PeakCount, 1);
  }
  EXPECT_EQ(set[hcSum][0], 3);
  EXPECT_EQ(set[hcSum].PeakCount, 3);
  for (const THistogram& h : set) EXPECT_TRUE(h.Ready);
}

TEST(Gather, CountsBlueGreenRedBytesIntoTheirChannels) {
  Image image(2, 1);
  const std::uint8_t bytes[] = {10, 20, 30, 10, 40, 50};  // blue, green, red
  std::copy(bytes, bytes + 6, image.Data());
  THist hist;
  THistSet set;
  hist.Gather(image, set);
  EXPECT_EQ(set[hcBlue][10], 2);
  EXPECT_EQ(set[hcGreen][20], 1);
  EXPECT_EQ(set[hcGreen][40], 1);
  EXPECT_EQ(set[hcRed][30], 1);
  EXPECT_EQ(set[hcRed][50], 1);
  EXPECT_EQ(set[hcSum][10], 2);
  EXPECT_EQ(set[hcSum][50], 1);
}

TEST(Gather, SetLayoutAndEmptyPicture) {
  THist hist;
  THistSet set;
  hist.Gather(Image(), set);
  const std::int32_t highs[] = {255, 255, 255, 255, 1436, 600, 600, 600, 510, 510};
  for (int c = 0; c < kHistChannels; ++c) {
    EXPECT_EQ(set[c].Low, 0);
    EXPECT_EQ(set[c].High, highs[c]);
    EXPECT_EQ(set[c].Channel, c);
    EXPECT_TRUE(set[c].Ready);
    EXPECT_EQ(set[c].PeakCount, 0);
    EXPECT_EQ(set[c].PeakCountClipped, 0);
  }
}

TEST(Gather, InitAndClearKeepPeaks) {
  THist hist;
  THistogram h;
  h.PeakCount = 7;
  h.PeakCountClipped = 5;
  h.High = 600;
  h[3] = 9;
  hist.InitHistogram(h);
  EXPECT_EQ(h.High, 255);
  EXPECT_EQ(h[3], 0);
  EXPECT_EQ(h.PeakCount, 7);
  EXPECT_EQ(h.PeakCountClipped, 5);
  EXPECT_FALSE(h.Ready);
}

}  // namespace
}  // namespace tavren
