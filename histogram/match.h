// Exact histogram matching of a working image, channel by channel.
#pragma once

#include "histogram/hist.h"

namespace tavren {

// Remaps the red, green and blue values of every pixel so that each channel's
// histogram becomes target's hcRed, hcGreen, hcBlue (rescaled to the pixel
// count first).  Pixels of one level move in scan order: the first ones met
// take the lowest target levels.
void MatchHistogram(Image& image, THistSet target);

}  // namespace tavren
