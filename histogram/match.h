// Exact histogram matching of a working image, channel by channel.
#pragma once

#include <cstdint>
#include <functional>

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

// Called for every row the remapping finished, from the thread that works
// on the row's band, while the row is still at hand.
using TRowDone = std::function<void(int band, std::int32_t y)>;

// The same again, reading the values from source and writing the new ones
// to remapped (of source's size, or source itself); source is left as it
// was unless it is remapped.  A pass that still needs the picture as it
// was then needs no copy of it.
void MatchHistogramInto(const Image& source, Image& remapped, THistSet target,
                        const TLevelCensus& census, const TRowDone& rowDone = nullptr);

// The straightforward walk from the top row to the bottom one; the banded
// version must give the same bytes.
void MatchHistogramInScanOrder(Image& image, THistSet target);

}  // namespace tavren
