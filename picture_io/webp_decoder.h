// WebP decoding through libwebp: lossy and lossless, with or without alpha;
// of an animation, the first frame as it is shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "imaging/image.h"
#include "picture_io/format_entry.h"
#include "picture_io/picture_blocks.h"

namespace tavren {

// Decodes the WebP held in data[0, size), as stored (its EXIF orientation
// is the caller's).  name identifies the picture in errors.  Throws
// TavrenError for a picture that is truncated, damaged or too large.
Image DecodeWebp(const std::uint8_t* data, std::size_t size, const std::string& name);

// The stored width and height (of an animation, its canvas) from the
// header alone.  Throws TavrenError as DecodeWebp.
std::pair<std::int32_t, std::int32_t> ReadWebpSize(const std::uint8_t* data, std::size_t size,
                                                   const std::string& name);

// The EXIF and ICCP chunks.  Never throws: what cannot be read stays empty.
TPictureBlocks ReadWebpBlocks(const std::uint8_t* data, std::size_t size);

// The format table's functions (format_entry.h), which read the file no
// further than its RIFF chunk: the size and the picture upright as the
// EXIF chunk says, the make, model and colour profile, and how many bytes
// hold all that Exiv2 reads.
TPictureSize ReadWebpPictureSize(const TByteSource& file, const std::string& name);
Image LoadWebp(const TByteSource& file, const std::string& name, TRowFollower* follower);
TSourceMetadata ReadWebpMetadata(const TByteSource& file);
std::uint64_t WebpMetadataExtent(const TByteSource& file);

}  // namespace tavren
