// The numbers of a TIFF structure (an EXIF block is one): in either byte
// order, of the sizes its value types give.
#pragma once

#include <cstdint>

namespace tavren {

// The number of `bytes` bytes at p, in the given byte order.
inline std::uint64_t NumberAt(const std::uint8_t* p, unsigned bytes, bool bigEndian) {
  std::uint64_t value = 0;
  for (unsigned i = 0; i < bytes; ++i)
    value |= std::uint64_t{p[i]} << (8 * (bigEndian ? bytes - 1 - i : i));
  return value;
}

// The bytes of one value of a TIFF or BigTIFF type; 0 for a type that
// neither defines.
inline std::uint64_t TiffTypeBytes(std::uint64_t type) {
  switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
      return 1;
    case 3:
    case 8:
      return 2;
    case 4:
    case 9:
    case 11:
    case 13:
      return 4;
    case 5:
    case 10:
    case 12:
    case 16:
    case 17:
    case 18:
      return 8;
    default:
      return 0;
  }
}

}  // namespace tavren
