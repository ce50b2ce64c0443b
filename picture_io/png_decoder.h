// PNG decoding through libpng: every colour type and depth, interlaced or
// not, into the working image (sample_rows.h says how samples become
// pixels).  libpng's own limits stay on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "imaging/image.h"
#include "picture_io/picture_blocks.h"

namespace tavren {

// Deflate turns at most this many bytes into one: a file shorter than its
// picture's rows divided by it cannot hold them.
inline constexpr std::uint64_t kMaxDeflateRatio = 1032;

// Decodes the PNG held in data[0, size), as stored (its EXIF orientation is
// the caller's).  name identifies the picture in errors.  Throws
// TavrenError for a picture that is truncated, damaged or too large.
Image DecodePng(const std::uint8_t* data, std::size_t size, const std::string& name);

// The stored width and height from the header alone, with the checks of
// DecodePng that need no picture data.  Throws TavrenError as DecodePng.
std::pair<std::int32_t, std::int32_t> ReadPngSize(const std::uint8_t* data, std::size_t size,
                                                  const std::string& name);

// The eXIf chunk (wherever it stands) and the iCCP chunk.  Never throws:
// what cannot be read stays empty.
TPictureBlocks ReadPngBlocks(const std::uint8_t* data, std::size_t size);

}  // namespace tavren
