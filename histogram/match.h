// Exact histogram matching of a working image, channel by channel.
#pragma once

#include "histogram/hist.h"
#include "histogram/level_census.h"

namespace tavren {

// Remaps the red, green and blue values of every pixel so that each channel's
// histogram becomes target's hcRed, hcGreen, hcBlue (rescaled to the pixel
// count first).  Pixels of one level move in scan order: the first ones met
// take the lowest target levels.
// The rows are worked on in bands over the band pool, with the same result.
void MatchHistogram(Image& image, THistSet target);

// The same, for a picture whose census (in the bands to work in) is at hand.
void MatchHistogram(Image& image, THistSet target, const TLevelCensus& census);

// The straightforward walk from the top row to the bottom one; the banded
// version must give the same bytes.
void MatchHistogramInScanOrder(Image& image, THistSet target);

}  // namespace tavren
