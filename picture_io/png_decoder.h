// PNG decoding through libpng: every colour type and depth, interlaced or
// not, into the working image (sample_rows.h says how samples become
// pixels).  libpng's own limits stay on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "imaging/image.h"
#include "picture_io/format_entry.h"
#include "picture_io/picture_blocks.h"

namespace tavren {

// Deflate turns at most this many bytes into one: a file shorter than its
// picture's rows divided by it cannot hold them.
inline constexpr std::uint64_t kMaxDeflateRatio = 1032;

// Decodes the PNG file, as stored (its EXIF orientation is the caller's),
// reading it no further than its picture's data.  name identifies the
// picture in errors.  Throws TavrenError for a picture that is truncated,
// damaged or too large.
Image DecodePng(const TByteSource& file, const std::string& name);

// The stored width and height from the header alone, with the checks of
// DecodePng that need no picture data.  Throws TavrenError as DecodePng.
std::pair<std::int32_t, std::int32_t> ReadPngSize(const TByteSource& file, const std::string& name);

// The eXIf chunk (wherever it stands) and the iCCP chunk.  Never throws
// for what the file holds: what cannot be read stays empty.
TPictureBlocks ReadPngBlocks(const TByteSource& file);

// The format table's functions (format_entry.h): the size and the picture
// upright as the eXIf chunk says, the make, model and colour profile, and
// the bytes up to the end of the IEND chunk (the whole file without one),
// all Exiv2 reads.
TPictureSize ReadPngPictureSize(const TByteSource& file, const std::string& name);
Image LoadPng(const TByteSource& file, const std::string& name, TRowFollower* follower);
TSourceMetadata ReadPngMetadata(const TByteSource& file);
std::uint64_t PngMetadataExtent(const TByteSource& file);

}  // namespace tavren
