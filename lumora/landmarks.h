// Landmarks of a channel histogram that the tone correction protects:
// interior ledges (sharp peaks with their flanks) and valleys (runs of
// sparsely used levels).  The end zones are measured by THist::EdgeWidth.
#pragma once

#include <cstdint>
#include <vector>

#include "histogram/hist.h"

namespace tavren {

// One protected interior ledge.
struct TLedgeRec {
  std::int32_t Pos = 0;         // level of the top
  std::int32_t LeftWidth = 0;   // levels from the top to the left foot
  std::int32_t RightWidth = 0;  // levels from the top to the right foot
  double LeftSlope = 0;         // protection strength of each flank, 0..1
  double RightSlope = 0;
};
using TMiddle1 = std::vector<TLedgeRec>;

// One valley: levels StartLevel..EndLevel-1 lie below the valley threshold.
struct TValleyRec {
  std::int32_t StartLevel = 0;
  std::int32_t EndLevel = 0;
  double Weight = 0;  // Min(1, (EndLevel - StartLevel) / 18)
};
using TValley1 = std::vector<TValleyRec>;

// The ledges of h (a colour channel of the source set; n its pixel count),
// with widths scaled by (1 + ledgeMiddle / 100).
TMiddle1 FindLedges(const THist& hist, const THistogram& h, std::int32_t n,
                    std::int32_t ledgeMiddle);

// The valleys of h wider than five levels.
TValley1 FindValleys(const THistogram& h);

}  // namespace tavren
