// Numeric helpers shared by every image algorithm.
//
// Real-valued work is carried out in 80-bit extended precision (long double)
// unless a value is explicitly stored as double.  Rounding is always one of
// two kinds: Round (to nearest, ties to the even neighbour) or Trunc (toward
// zero).  Expressions are evaluated left to right, one operation at a time;
// the build disables floating-point contraction so that the compiler cannot
// fuse them.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

static_assert(LDBL_MANT_DIG == 64,
              "long double must be the 80-bit extended type (64-bit mantissa)");

namespace tavren {

using Extended = long double;

// Round to the nearest integer, ties to even (Round(2.5) = 2, Round(3.5) = 4,
// Round(-2.5) = -2).  Relies on the default rounding mode, which the
// program never changes.
inline std::int64_t Round(Extended x) { return std::llrint(x); }

// Drop the fraction toward zero.
inline std::int64_t Trunc(Extended x) { return static_cast<std::int64_t>(x); }

// Numerator / Denominator, or Default when the denominator is zero.
inline Extended SafeDiv(Extended numerator, Extended denominator, Extended fallback) {
  return denominator != 0 ? numerator / denominator : fallback;
}

// Round(x) for x >= 0, otherwise 0 (a NaN also gives 0).  Counts are
// 32-bit: a value beyond that range saturates instead of wrapping around to
// a negative count.
inline std::int32_t RoundNonNegative(Extended x) {
  if (!(x >= 0)) return 0;
  if (x >= 2147483647.0L) return 2147483647;
  return static_cast<std::int32_t>(Round(x));
}

}  // namespace tavren
