// Clarivex haze removal: stretches the nearly empty dark and bright ends of
// each colour channel over the full range, with an exact level split.
#pragma once

#include <cstdint>

#include "histogram/level_census.h"
#include "imaging/image.h"

namespace tavren {

struct TEmptyAreaCh {
  std::int32_t LowFrom = -1;
  std::int32_t LowTo = -1;
  bool LowActive = false;
  std::int32_t HighFrom = -1;
  std::int32_t HighTo = -1;
  bool HighActive = false;
};

// Red, green, blue.
struct TEmptyAreaT {
  TEmptyAreaCh Ch[3];
};

class TClarivex {
 public:
  // Strength 0 Off, 1 Weak, 2 Normal, 3 Strong; anything else changes nothing.
  // census, when given, is the picture's own (counted while it was
  // decoded); along, when given, receives what the next step asks of the
  // sweep that writes the new values (taken stays false when nothing was
  // written).
  void Process(Image& image, std::uint8_t strength, bool suppressColorDistortion,
               const TLevelCensus* census = nullptr, TTakeAlong* along = nullptr);

  const TEmptyAreaT& EmptyAreas() const { return areas_; }

 private:
  TEmptyAreaT areas_{};
};

}  // namespace tavren
