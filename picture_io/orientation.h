// Turns and mirrors a decoded picture so that it stands as the camera's
// EXIF orientation tag says it should be shown.
#pragma once

#include "imaging/image.h"

namespace tavren {

// orientation is the EXIF value: 1 as stored, 2 mirrored left-right, 3 turned
// by 180 degrees, 4 mirrored top-bottom, 5 mirrored along the main diagonal,
// 6 turned 90 degrees clockwise, 7 mirrored along the other diagonal, 8
// turned 90 degrees counter-clockwise.  Any other value leaves the picture
// as it is.  5 to 8 swap width and height.
void ApplyOrientation(Image& image, int orientation);

}  // namespace tavren
