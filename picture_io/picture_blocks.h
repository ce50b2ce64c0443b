// The metadata a picture file carries beside its pixels, as stored, for the
// orientation at intake and for what a saved copy takes over.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavren {

struct TPictureBlocks {
  // The EXIF block: a TIFF-structured block from its byte-order mark on;
  // empty when the file has none.
  std::vector<std::uint8_t> Exif;
  // The whole ICC colour profile; empty when the file has none.
  std::vector<std::uint8_t> IccProfile;
};

// The TIFF-structured part of an EXIF block as a format stores it: some
// writers put the "Exif" identifier of a JPEG segment and its two zero bytes
// in front, which is skipped.
inline std::vector<std::uint8_t> ExifBlockFrom(const std::uint8_t* data, std::size_t size) {
  static constexpr std::uint8_t kIdentifier[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (size >= sizeof kIdentifier && std::equal(kIdentifier, kIdentifier + 6, data)) {
    data += sizeof kIdentifier;
    size -= sizeof kIdentifier;
  }
  return std::vector<std::uint8_t>(data, data + size);
}

}  // namespace tavren
