// The turns, mirrors and crop of a HEIF picture, applied by the intake to
// the decoded picture: libheif 1.15 mirrors only 8-bit pictures, so it is
// asked to decode without them.  They are computed as libheif computes
// them, so that a picture it could transform stands as it stood.
#pragma once

#include <string>
#include <vector>

#include "imaging/image.h"
#include "picture_io/heif_items.h"

namespace tavren {

// The picture with the transformations applied in turn, each to what the
// ones before made of it.  name identifies the picture in errors.  Throws
// TavrenError when a crop lies outside the picture.
Image ApplyHeifTransforms(Image image, const std::vector<THeifTransform>& transforms,
                          const std::string& name);

}  // namespace tavren
