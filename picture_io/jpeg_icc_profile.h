// The ICC colour profile of a JPEG file.  A profile is stored in APP2
// segments that start with "ICC_PROFILE" and a zero byte, followed by the
// segment's sequence number (from 1) and the number of segments; the
// profile is their data put together in sequence order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "picture_io/byte_source.h"

namespace tavren {

// The profile in the segments before the first scan, or nothing when there
// is none or its sequence is broken: a segment missing, one number twice,
// segments that disagree on their number, or a file that ends inside them.
// Never throws for what the file holds; reads only inside the source.
std::vector<std::uint8_t> ReadJpegIccProfile(const TByteSource& source);

// The most data one segment carries: a segment's length field counts
// itself, the identifier and the two numbers.
inline constexpr std::size_t kIccBytesPerSegment = 65535 - 2 - 14;
inline constexpr std::size_t kMaxIccSegments = 255;

}  // namespace tavren
