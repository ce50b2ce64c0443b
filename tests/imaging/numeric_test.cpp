#include "imaging/numeric.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tavren {
namespace {

TEST(Numeric, RoundGoesToEvenOnTies) {
  EXPECT_EQ(Round(2.5L), 2);
  EXPECT_EQ(Round(3.5L), 4);
  EXPECT_EQ(Round(-2.5L), -2);
  EXPECT_EQ(Round(0.5L), 0);
  EXPECT_EQ(Round(2.4999999L), 2);
  EXPECT_EQ(Round(-0.6L), -1);
}

TEST(Numeric, TruncDropsFractionTowardZero) {
  EXPECT_EQ(Trunc(2.9L), 2);
  EXPECT_EQ(Trunc(-2.9L), -2);
  EXPECT_EQ(Trunc(-29.7L + 20 - 1), -10);
}

TEST(Numeric, RoundNonNegative) {
  EXPECT_EQ(RoundNonNegative(2.5L), 2);
  EXPECT_EQ(RoundNonNegative(3.5L), 4);
  EXPECT_EQ(RoundNonNegative(-0.4L), 0);
  EXPECT_EQ(RoundNonNegative(std::nanl("")), 0);
  EXPECT_EQ(RoundNonNegative(1e12L), 2147483647);  // saturates, never wraps
}

TEST(Numeric, SafeDiv) {
  EXPECT_EQ(SafeDiv(5, 0, 1), 1);
  EXPECT_EQ(SafeDiv(5, 2, 1), 2.5L);
}

TEST(Numeric, ExtendedLiteralsDifferFromWidenedDoubles) {
  // The tie rules of the algorithms depend on which of the two is used.
  EXPECT_NE(1.05L, static_cast<long double>(1.05));
  EXPECT_GT(static_cast<long double>(0.1) / 100, 0.001L);
}

}  // namespace
}  // namespace tavren
