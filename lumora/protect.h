// The protections of a channel's target: the blend of the reference and the
// picture's own shape, the damping of valleys, and the pull back towards the
// source at the clipped ends and at the ledges.
#pragma once

#include <cstdint>

#include "histogram/hist.h"
#include "imaging/numeric.h"

namespace tavren {

// C[i] := B[i] + Round((1 - amount / 100) x (A[i] - B[i])); with amount 100
// the blend is B itself.
void BlendShapes(const THistogram& reference, const THistogram& own, std::int32_t amount,
                 THistogram& blend);

// The damped target count of one valley level: s the source count, peak the
// target's clipped peak, weight the valley's weight, d = target - source.
std::int32_t DampValleyBin(std::int32_t s, std::int32_t peak, Extended weight, std::int32_t d,
                           Extended valley);

// Pulls the target levels from..to back towards the source: the whole pull
// at level `anchor`, fading linearly to nothing `width` levels away, scaled
// by strength.  Levels outside 0..255 are not part of the histogram and are
// skipped.
void PullTowardsSource(THistogram& target, const THistogram& source, int anchor, int from, int to,
                       std::int32_t width, Extended strength);

}  // namespace tavren
