// The turns, mirrors and crop of a HEIF picture, applied by the intake to
// the decoded picture: libheif 1.15 mirrors only 8-bit pictures, so it is
// asked to decode without them.  They are computed as libheif computes
// them, so that a picture it could transform stands as it stood.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "picture_io/heif_items.h"

namespace tavren {

// Samples of a picture, row after row, Channels to a pixel: a picture's
// colours or its transparency before they are laid over white, which
// libheif transforms each by its own properties.
struct TSampleGrid {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  int Channels = 1;
  std::vector<std::uint16_t> Samples;
};

// The samples with the transformations applied in turn, as libheif applies
// them to a picture's planes.  Throws TavrenError as ApplyHeifTransforms
// below.
TSampleGrid ApplyHeifTransforms(TSampleGrid grid, const std::vector<THeifTransform>& transforms,
                                const std::string& name);

// The picture with the transformations applied in turn, each to what the
// ones before made of it.  name identifies the picture in errors.  Throws
// TavrenError when a crop lies outside the picture.
Image ApplyHeifTransforms(Image image, const std::vector<THeifTransform>& transforms,
                          const std::string& name);

}  // namespace tavren
