#include <gtest/gtest.h>

#include "lumora/lumora.h"
#include "lumora/protect.h"

namespace tavren {
namespace {

THistogram Flat(std::int32_t count) {
  THistogram h;
  for (int i = 0; i <= 255; ++i) h[i] = count;
  return h;
}

TEST(LumoraBlend, FullAmountIsTheReferenceItself) {
  THistogram reference = Flat(10);
  reference[7] = 123;
  THistogram own = Flat(500);
  THistogram blend;
  BlendShapes(reference, own, 100, blend);
  EXPECT_EQ(blend.Bins, reference.Bins);
}

TEST(LumoraBlend, WeakAmountMovesSixTenthsTowardsOwnShapeRoundingToEven) {
  THistogram reference = Flat(100);
  THistogram own = Flat(100);
  own[10] = 107;  // +7 * 0.6 = 4.2
  own[11] = 93;   // -7 * 0.6 = -4.2
  own[12] = 105;  // +5 * 0.6 = 3
  own[13] = 95;
  THistogram blend;
  BlendShapes(reference, own, 40, blend);
  EXPECT_EQ(blend[10], 104);
  EXPECT_EQ(blend[11], 96);
  EXPECT_EQ(blend[12], 103);
  EXPECT_EQ(blend[13], 97);
  EXPECT_EQ(blend[0], 100);
  EXPECT_EQ(blend[255], 100);
}

TEST(LumoraValleyDamping, DecreasesAndEmptyOrUnmeasurableLevelsAreNotDamped) {
  // Decreases keep the target count, whatever the weight.
  EXPECT_EQ(DampValleyBin(50, 1000, 1.0L, -20, 0.5L), 30);
  EXPECT_EQ(DampValleyBin(50, 1000, 1.0L, 0, 0.5L), 50);
  // An empty source level takes the whole increase (the exponent is 0).
  EXPECT_EQ(DampValleyBin(0, 1000, 1.0L, 40, 0.5L), 40);
  // Valley strength 0 switches damping off.
  EXPECT_EQ(DampValleyBin(10, 1000, 1.0L, 20, 0.0L), 30);
  // A target without a clipped peak would divide 0 by 0: no damping.
  EXPECT_EQ(DampValleyBin(5, 0, 1.0L, 10, 0.5L), 15);
  EXPECT_EQ(DampValleyBin(0, 0, 1.0L, 10, 0.5L), 10);
}

TEST(LumoraValleyDamping, SparseLevelsReceiveOnlyPartOfTheIncrease) {
  // q = 10 / 70, e = 20 / 10 * 0.5 = 1: a full-weight valley gives
  // 20 / 7 = 2.857 more, half weight 2.857 + 0.5 * (20 - 2.857) = 11.43.
  EXPECT_EQ(DampValleyBin(10, 1000, 1.0L, 20, 0.5L), 13);
  EXPECT_EQ(DampValleyBin(10, 1000, 0.5L, 20, 0.5L), 21);
  EXPECT_EQ(DampValleyBin(10, 1000, 0.0L, 20, 0.5L), 30);
  // A dense level (q > 1) would be raised beyond the request: capped at D.
  EXPECT_EQ(DampValleyBin(100, 1000, 1.0L, 20, 0.5L), 120);
}

TEST(LumoraPull, EndZoneFadesLinearlyFromTheEnd) {
  THistogram target = Flat(100);
  const THistogram source = Flat(0);
  PullTowardsSource(target, source, 0, 0, 4, 4, 1);
  EXPECT_EQ(target[0], 0);   // full pull
  EXPECT_EQ(target[1], 25);  // three quarters of the way
  EXPECT_EQ(target[2], 50);
  EXPECT_EQ(target[3], 75);
  EXPECT_EQ(target[4], 100);  // f = 1: nothing
  EXPECT_EQ(target[5], 100);

  THistogram bright = Flat(100);
  PullTowardsSource(bright, source, 255, 255, 255, 0, 1);  // width 0: the end level only
  EXPECT_EQ(bright[255], 0);
  EXPECT_EQ(bright[254], 100);
}

TEST(LumoraPull, FlankStrengthScalesThePullAndLevelsOutsideTheRangeAreSkipped) {
  THistogram target = Flat(100);
  target[1000] = 0;
  THistogram source = Flat(0);
  source[1000] = 77;
  // A right flank from level 250 reaching far past 255.
  PullTowardsSource(target, source, 250, 250, 1000, 750, 0.5L);
  EXPECT_EQ(target[250], 50);
  EXPECT_EQ(target[255], 50);  // f = 5 / 750: Round(0.99333 * -100 * 0.5) = -50
  EXPECT_EQ(target[1000], 0);  // beyond the histogram: untouched
  EXPECT_EQ(target[249], 100);

  THistogram left = Flat(100);
  PullTowardsSource(left, source, 3, -40, 3, 43, 1);
  EXPECT_EQ(left[3], 0);
  EXPECT_EQ(left[0], 7);  // f = 3 / 43
}

}  // namespace
}  // namespace tavren
