// Bounds every decoder checks before it asks for memory for a picture.
#pragma once

#include <cstdint>
#include <limits>

namespace tavren {

// Pixel counts and histogram totals are 32-bit signed, and the sum histogram
// counts every pixel three times: a picture is accepted only when
// 3 x width x height fits a signed 32-bit integer.
inline bool PictureSizeAllowed(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) return false;
  const std::int64_t limit = std::numeric_limits<std::int32_t>::max() / 3;
  return width <= limit && height <= limit / width;
}

}  // namespace tavren
