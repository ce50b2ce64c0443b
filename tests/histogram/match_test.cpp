#include <gtest/gtest.h>

#include "histogram/match.h"
#include "picture_io/picture_files.h"
#include "support/test_support.h"

namespace tavren {
namespace {

THistSet EmptyTarget() {
  THist hist;
  THistSet target;
  hist.InitSet(target);
  hist.SetReadyAll(target, true);
  return target;
}

// A target of two levels in every channel, with the given counts.
THistSet TwoLevelTarget(int low, int lowCount, int high, int highCount) {
  THistSet target = EmptyTarget();
  for (int c : {hcRed, hcGreen, hcBlue}) {
    target[c][low] = lowCount;
    target[c][high] = highCount;
  }
  return target;
}

Image Grey(std::int32_t w, std::int32_t h, std::uint8_t value) {
  Image image(w, h);
  std::fill(image.Data(), image.Data() + image.ByteSize(), value);
  return image;
}

TEST(MatchHistogram, OwnHistogramAsTargetChangesNothing) {
  const Image original = test::RandomImage(37, 23, 5);
  Image image = original;
  THistSet own;
  THist().Gather(image, own);
  MatchHistogram(image, own);
  EXPECT_EQ(image, original);
}

TEST(MatchHistogram, FirstPixelsInScanOrderTakeTheLowestTargets) {
  Image two = Grey(2, 1, 10);
  MatchHistogram(two, TwoLevelTarget(0, 1, 255, 1));
  EXPECT_EQ(two.Row(0)[2], 0);
  EXPECT_EQ(two.Row(0)[5], 255);

  Image five = Grey(5, 1, 100);
  MatchHistogram(five, TwoLevelTarget(5, 2, 6, 3));
  const std::uint8_t expected[] = {5, 5, 6, 6, 6};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(five.Row(0)[3 * x + 1], expected[x]);
}

TEST(MatchHistogram, SingleMoveTakesEveryPixel) {
  Image image = Grey(2, 2, 100);
  THistSet target = EmptyTarget();
  for (int c : {hcRed, hcGreen, hcBlue}) target[c][200] = 4;
  MatchHistogram(image, target);
  EXPECT_EQ(image, Grey(2, 2, 200));
}

TEST(MatchHistogram, ChannelsAreIndependentAndTargetIsRescaled) {
  Image image = Grey(4, 1, 50);
  THistSet target = EmptyTarget();
  target[hcRed][0] = 1;  // rescaled to four pixels
  target[hcGreen][7] = 2;
  target[hcGreen][9] = 2;
  target[hcBlue][255] = 40;
  MatchHistogram(image, target);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(image.Row(0)[3 * x + 2], 0);
    EXPECT_EQ(image.Row(0)[3 * x + 1], x < 2 ? 7 : 9);
    EXPECT_EQ(image.Row(0)[3 * x + 0], 255);
  }
}

TEST(MatchHistogram, TargetNotReadyOrEmptyPictureChangesNothing) {
  Image image = test::RandomImage(8, 8, 1);
  const Image original = image;
  THistSet target = EmptyTarget();
  target[hcRed][0] = 64;
  target[hcGreen][0] = 64;
  target[hcBlue][0] = 64;
  target[hcGreen].Ready = false;
  MatchHistogram(image, target);
  EXPECT_EQ(image, original);
  Image empty;
  target[hcGreen].Ready = true;
  MatchHistogram(empty, target);
  EXPECT_EQ(empty.Width(), 0);
}

// After matching, each channel's histogram is the rescaled target exactly.
void ExpectMatchedExactly(Image image, std::uint32_t seed) {
  THist hist;
  THistSet target = EmptyTarget();
  std::uint32_t state = seed;
  for (int c : {hcRed, hcGreen, hcBlue})
    for (int v = 0; v < 256; ++v) {
      state = state * 1664525u + 1013904223u;
      target[c][v] = (state >> 24) % 3 == 0 ? 0 : static_cast<std::int32_t>(state >> 20);
    }
  std::int32_t n = 0;
  ASSERT_TRUE(ImagePixelCount(image, n));
  THistSet expected = target;
  hist.NormalizeRGB(expected, n, false);
  MatchHistogram(image, target);
  THistSet after;
  hist.Gather(image, after);
  for (int c : {hcRed, hcGreen, hcBlue})
    for (int v = 0; v < 256; ++v) ASSERT_EQ(after[c][v], expected[c][v]) << c << " " << v;
}

TEST(MatchHistogram, MatchedHistogramEqualsRescaledTarget) {
  ExpectMatchedExactly(test::RandomImage(101, 67, 3), 11);
  ExpectMatchedExactly(Grey(1, 300, 77), 12);
}

TEST(MatchHistogram, MatchedHistogramEqualsTargetOnRealPhotos) {
  TAVREN_REQUIRE_CORPUS();
  for (const char* name :
       {"camera/Canon_PowerShot_S40.jpg", "gps/DSCN0010.jpg", "exif-org/nikon-e950.jpg"})
    ExpectMatchedExactly(LoadPicture((test::CorpusDir() / name).string()), 7);
}

}  // namespace
}  // namespace tavren
