// What a JPEG stream declares, read from its markers alone (no decoding):
// its frame, and what its scans will cost the decoder.  The TIFF intake
// holds the JPEG stream of every strip and tile to the JPEG decoder's own
// limits with it before libtiff hands the stream to libjpeg, whose scans
// it otherwise bounds only by count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavren {

struct TJpegStreamWalk {
  bool HasFrame = false;
  std::uint32_t Width = 0, Height = 0;
  bool Arithmetic = false;
  std::uint64_t Blocks = 0;  // of all components of the frame
  int Scans = 0;
  std::uint64_t Work = 0;  // blocks visited by all scans together
  std::string Damage;      // what is wrong with the markers; empty when nothing
};

// Walks the markers of data[0, size) from its start-of-image marker to its
// end-of-image marker or its end.
TJpegStreamWalk WalkJpegStream(const std::uint8_t* data, std::size_t size);

// The fewest bytes that can hold the stream's blocks: a bit for every
// block of Huffman-coded data, for 64 blocks of arithmetic-coded data, as
// the JPEG decoder requires of a JPEG file (jpeg_decoder.h).
std::uint64_t JpegStreamLeastBytes(const TJpegStreamWalk& walk);

// Why scans would cost the JPEG decoder more than it allows a JPEG file
// ("has more than 1000 scans", "repeats the picture more than 32 times in
// its scans"): too many scans in one stream, or scans that together visit
// the blocks too often; empty when they would not.
std::string JpegScansBeyondLimits(int scans, std::uint64_t work, std::uint64_t blocks);

}  // namespace tavren
