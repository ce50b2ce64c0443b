// Turns and mirrors a decoded picture so that it stands as the camera's
// EXIF orientation tag says it should be shown.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/image.h"

namespace tavren {

// orientation is the EXIF value: 1 as stored, 2 mirrored left-right, 3 turned
// by 180 degrees, 4 mirrored top-bottom, 5 mirrored along the main diagonal,
// 6 turned 90 degrees clockwise, 7 mirrored along the other diagonal, 8
// turned 90 degrees counter-clockwise.  Any other value leaves the picture
// as it is.  5 to 8 swap width and height.
void ApplyOrientation(Image& image, int orientation);

// The orientation an EXIF block (its TIFF-structured part) states; 0 when
// it states none.
int ExifOrientation(const std::vector<std::uint8_t>& exifBlock);

// The picture turned and mirrored as the orientation in exifBlock says.
Image UprightByExif(Image image, const std::vector<std::uint8_t>& exifBlock);

}  // namespace tavren
