// The JPEG encoder: a picture to the bytes of a progressive JPEG of quality
// 100, otherwise the library's defaults.  The counterpart of jpeg_decoder.h.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "imaging/image.h"

namespace tavren {

// The longest side a JPEG file can have (the library refuses more).
inline constexpr std::int32_t kJpegMaxSide = 65500;

// An encoded picture as the pieces of its file, in order, in the buffers
// they were written to: a picture encoded in two pieces is not joined into
// a new block of its own size just to be written out.
struct TJpegPieces {
  struct TFreeBytes {
    void operator()(std::uint8_t* p) const { std::free(p); }
  };
  // What pieces point into: the library's buffers and our own.
  std::vector<std::unique_ptr<std::uint8_t, TFreeBytes>> Buffers;
  std::vector<std::vector<std::uint8_t>> OwnBuffers;
  std::vector<std::span<const std::uint8_t>> Pieces;
  std::vector<std::uint8_t> Joined() const;
};

// The encoder's output for image in pieces; as EncodeJpeg.
TJpegPieces EncodeJpegPieces(const Image& image, const std::vector<std::uint8_t>& iccProfile = {});

// The encoder's output for image: quality 100, progressive, otherwise the
// library's defaults.  A non-empty iccProfile is written by the library
// right behind its JFIF header, in APP2 segments; one too large for the
// format's 255 segments is left out.  Throws TavrenError (with an empty
// file name).  A large picture is encoded on two threads at once that
// share the scans; the bytes are the same either way.
std::vector<std::uint8_t> EncodeJpeg(const Image& image,
                                     const std::vector<std::uint8_t>& iccProfile = {});
// The same by one encoder.
std::vector<std::uint8_t> EncodeJpegInOnePiece(const Image& image,
                                               const std::vector<std::uint8_t>& iccProfile = {});
// The same on two threads, or nothing when they fail
// or the library's scans are not laid out as expected.
std::vector<std::uint8_t> EncodeJpegInTwoPieces(const Image& image,
                                                const std::vector<std::uint8_t>& iccProfile = {});

}  // namespace tavren
