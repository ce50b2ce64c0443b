// Windows bitmaps: our own decoder for the variants Windows writes and a
// 24-bit encoder.
//
// Read: BITMAPCOREHEADER, BITMAPINFOHEADER (and its 52- and 56-byte
// extensions), V4 and V5 headers; 1, 4 and 8 bits per pixel with a palette,
// 16, 24 and 32 bits; BI_RGB, BI_BITFIELDS, BI_RLE4 and BI_RLE8; bottom-up and
// top-down rows.  Everything the header claims is checked against the bytes
// that are there before memory for the picture is asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "imaging/image.h"
#include "picture_io/format_entry.h"

namespace tavren {

// A run-length picture is refused when it has more pixels than this many
// per byte of compressed data.  An honest encoder spends at least two bytes
// on every 255 pixels of a run and two on each row end, so real pictures
// stay far below it; a few bytes that skip to the end of a huge picture do
// not.
inline constexpr std::uint64_t kMaxRlePixelsPerByte = 256;

// Decodes the bitmap held in data[0, size) into a 24-bit picture.  name
// identifies it in errors.  Throws TavrenError for anything malformed.
Image DecodeBmp(const std::uint8_t* data, std::size_t size, const std::string& name);

// The headers' checks of DecodeBmp on the first size bytes of a file of
// fileSize bytes (kBmpHeadersAtMost hold every header); returns the
// picture's width and height.
inline constexpr std::size_t kBmpHeadersAtMost = 14 + 124 + 12;
std::pair<std::int32_t, std::int32_t> ReadBmpHeader(const std::uint8_t* data, std::size_t size,
                                                    std::uint64_t fileSize,
                                                    const std::string& name);

// True when a 24-bit BMP file can hold a width x height picture (its size
// is a 32-bit number).
bool BmpCanHold(std::int64_t width, std::int64_t height);

// The bytes of a 24-bit BMP file of image: BITMAPINFOHEADER, rows bottom-up,
// each padded to a multiple of 4 bytes.  Throws TavrenError for a picture
// without pixels or one too large for the format.
std::vector<std::uint8_t> EncodeBmp24(const Image& image, const std::string& name = "");

// The BMP entry of the format table (a bitmap has no orientation).
void CheckBmpHeader(const TByteSource& file, const std::string& name);
TPictureSize ReadBmpPictureSize(const TByteSource& file, const std::string& name);
Image LoadBmp(const std::uint8_t* data, std::size_t size, const std::string& name, TRowFollower*);

}  // namespace tavren
