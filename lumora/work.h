// The working storage of the tone correction, kept between passes so that a
// pass allocates nothing but the landmark lists.
#pragma once

#include <array>

#include "histogram/level_census.h"
#include "lumora/lumora.h"

namespace tavren {

struct TLumora::TWork {
  THistSet Src;                       // the picture's histograms at the start of the pass
  THistSet Out;                       // the targets: hcSum the intensity target, then the channels
  THistogram A;                       // the picture's own smoothed shape
  THistogram B;                       // the reference shape
  THistogram C;                       // their blend
  std::array<Extended, 256> Share{};  // the channel's part of the intensity target
  TLevelCensus Census;                // the picture's levels at the start of the pass, by band
  Image Remapped;  // the pass's new values, beside the picture until the last sweep
};

}  // namespace tavren
