// JPEG decoding into the working image, through libjpeg with the program's
// decoder settings: fast integer inverse transform, block smoothing on,
// full-size output.  Grayscale, CMYK and YCCK pictures come out as colour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/image.h"
#include "imaging/row_follower.h"
#include "picture_io/format_entry.h"

namespace tavren {

inline constexpr char kJpegSignature[] = "\xFF\xD8";

// A picture whose decoding raises more warnings than this is refused: each
// warning marks corrupt data, and a flood of them is how a hostile file
// makes the decoder spin.
inline constexpr int kMaxJpegWarnings = 100;
// A picture with more scans than this is refused: every scan of a
// progressive picture costs a pass over all of its coefficients, so a small
// file with endless tiny scans would otherwise take hours.
inline constexpr int kMaxJpegScans = 1000;
// The decoder's work is bounded too: the scans together may visit every
// block of the picture this many times (cameras and programs write three to
// ten passes), plus a fixed allowance that keeps small pictures free of the
// bound.  A file of many scans over a large picture is refused when it
// reaches the bound, long before it could keep the decoder busy for minutes.
inline constexpr std::uint64_t kMaxJpegPassesPerBlock = 32;
inline constexpr std::uint64_t kJpegWorkAlwaysAllowed = 1u << 20;
// Arithmetic-coded data that spends less than one bit on this many blocks
// cannot be a photo: it is a few bytes declaring a huge picture.
inline constexpr std::uint64_t kArithmeticBlocksPerBitAtMost = 64;

// The rules of both bounds for a picture of `blocks` blocks (all
// components): the fewest bytes of coded data that can hold them (a bit a
// block, or a bit for kArithmeticBlocksPerBitAtMost arithmetic-coded
// blocks), and the most block visits its scans may make together.
inline std::uint64_t JpegLeastDataBytes(std::uint64_t blocks, bool arithmetic) {
  return blocks / (8 * (arithmetic ? kArithmeticBlocksPerBitAtMost : 1));
}
inline std::uint64_t JpegWorkLimit(std::uint64_t blocks) {
  return kMaxJpegPassesPerBlock * blocks + kJpegWorkAlwaysAllowed;
}

// Decodes the JPEG held in data[0, size).  name identifies the picture in
// errors.  Throws TavrenError for a picture that is truncated, corrupt,
// unsupported, too large (picture_limits.h) or beyond the limits above.  A
// follower, when given, sees the rows as they are decoded (and may stop the
// decoding) and is stopped before the picture is returned or freed.
Image DecodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name,
                 TRowFollower* follower = nullptr);
// The same from a file, read a piece at a time up to the picture's end
// marker (a tail behind it, such as a phone's video, is not read), and no
// further than its header's picture can need: a file whose coded data
// does not end there is refused as cut short.
Image DecodeJpeg(const TByteSource& file, const std::string& name,
                 TRowFollower* follower = nullptr);

// The stored size of a JPEG file's picture, from its header alone (the
// segments before the first scan; the rest of the file is not read).  The
// header's checks are those of DecodeJpeg: the size limit and a file too
// short for the picture's blocks are refused.
struct TJpegHeader {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
};
TJpegHeader ReadJpegHeader(const TByteSource& file, const std::string& name);

// The JPEG entry of the format table.  A picture comes upright: turned and
// mirrored as its EXIF orientation says; the follower then sees the rows
// only of a picture that stands upright as stored.
void CheckJpegHeader(const TByteSource& file, const std::string& name);
TPictureSize ReadJpegPictureSize(const TByteSource& file, const std::string& name);
Image LoadJpeg(const TByteSource& file, const std::string& name, TRowFollower* follower);
TSourceMetadata ReadJpegMetadata(const TByteSource& file);

}  // namespace tavren
