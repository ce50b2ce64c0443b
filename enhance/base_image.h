// The picture reduced to the view: every processing type is computed from it.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/image.h"

namespace tavren {

// The picture reduced to fit a limitWidth x limitHeight view.
struct TBaseImage {
  std::unique_ptr<Image> Picture;  // null when the source has no pixels
  bool Reduced = false;
};

// Reduces source (keeping its aspect ratio, rounding halves to even) when it
// is larger than the limit in either direction and the limit is neither
// empty nor tiny (width + height > 100); otherwise a plain copy.  Rows and
// columns are picked by the nearest-neighbour stretch, never averaged.  An
// extreme aspect ratio keeps at least one row and one column.
// The size MakeBaseImage gives a sourceWidth x sourceHeight picture; true
// when that is a reduction.
bool BaseImageSize(std::int32_t sourceWidth, std::int32_t sourceHeight, std::int32_t limitHeight,
                   std::int32_t limitWidth, std::int32_t& width, std::int32_t& height);

TBaseImage MakeBaseImage(const Image& source, std::int32_t limitHeight, std::int32_t limitWidth);

}  // namespace tavren
