// Lumora tone correction: histogram specification towards a blend of a
// reference shape and the picture's own smoothed shape, with protected ends,
// ledges and valleys, change limits and colour-ratio restoration.
#pragma once

#include <cstdint>

#include "imaging/image.h"

namespace tavren {

// The 32-byte parameter record, passed by value.
struct TLumoraParams {
  std::int32_t EdgeLeft = 0;
  std::int32_t EdgeRight = 0;
  std::int32_t LedgeMiddle = 0;
  std::int32_t Reserved = 0;
  double Valley = 0.5;
  std::int32_t DDVSLimit = 51;
  std::int32_t DDVILimit = 51;
};
static_assert(sizeof(TLumoraParams) == 32);

class TLumora {
 public:
  // Strength 0 Off, 1 Weak (one pass, amount 40), 2 Normal (one pass, 100),
  // 3 Strong (five passes of 100); anything else changes nothing.
  void Process(Image& image, std::uint8_t strength, TLumoraParams params);
  void RunPass(Image& image, std::int32_t amount, const TLumoraParams& params);
};

}  // namespace tavren
