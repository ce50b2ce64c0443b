// TIFF decoding through libtiff: the first page, upright as its Orientation
// tag says.  Grey, palette, RGB and CMYK pictures of 1, 2, 4, 8 or 16-bit
// unsigned samples, in strips or tiles, interleaved or in planes, with any
// compression libtiff decodes; JPEG-compressed YCbCr comes out as RGB.
// Floating-point, signed and other sample formats and other colour spaces
// are refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "imaging/image.h"
#include "picture_io/format_entry.h"

namespace tavren {

// Decodes the first page of the TIFF file and turns it upright, reading
// the file where its directory points (a tail behind what it points at is
// not read).  name identifies the picture in errors.  Throws TavrenError for
// a picture that is truncated, damaged, unsupported or too large.
Image DecodeTiff(const TByteSource& file, const std::string& name, TRowFollower* follower);

// The width and height of the first page upright, from its directory
// alone, with the checks of DecodeTiff that need no picture data.  Throws
// TavrenError as DecodeTiff.
TPictureSize ReadTiffSize(const TByteSource& file, const std::string& name);

// The ICC profile of the first page (tag 34675).  Never throws: empty when
// there is none or it cannot be read.
std::vector<std::uint8_t> ReadTiffIccProfile(const TByteSource& file);

// True when the file begins with a classic TIFF header (byte order and 42),
// whose first directory the EXIF reader can read for the camera's make and
// model.
bool IsClassicTiff(const TByteSource& file);

// The metadata of the format table's TIFF entry: the file is itself the
// TIFF-structured block whose first directory holds the make and model.
TSourceMetadata ReadTiffMetadata(const TByteSource& file);

}  // namespace tavren
