// The metadata a picture file carries beside its pixels, as stored, for the
// orientation at intake and for what a saved copy takes over.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavren {

struct TPictureBlocks {
  // The EXIF block: a TIFF-structured block from its byte-order mark on;
  // empty when the file has none.
  std::vector<std::uint8_t> Exif;
  // The whole ICC colour profile; empty when the file has none.
  std::vector<std::uint8_t> IccProfile;
  // The XMP packet, where the format's reader gives it (HEIF); empty when
  // the file has none.
  std::string Xmp;
};

// The sizes of the metadata blocks a saved copy could take over, as the
// file stores them, measured without reading them: what Exiv2 would be
// given.  0 for a block the file does not have.
struct TMetadataSizes {
  std::uint64_t Exif = 0;  // the TIFF-structured EXIF block
  std::uint64_t Xmp = 0;   // the XMP packet
  std::uint64_t Iptc = 0;  // the IPTC records
  // What the values of the EXIF block's directories add up to, each
  // counted as often as an entry names it, and the bytes they lie in (for
  // a TIFF file, the file): in a sound block the values do not overlap.
  std::uint64_t ExifValues = 0;
  std::uint64_t ExifHolder = 0;
};

// The directories of a TIFF file whose values a saved copy keeps, by the
// names Exiv2 gives their groups.
enum class TKeptDirectory : std::uint8_t { Image, Photo, GpsInfo, Iop };

// A value of a kept directory that is not read for being larger than any
// JPEG segment: Exiv2 would read it only to leave it out of the copy.
struct TUnreadValue {
  TKeptDirectory Directory;
  std::uint16_t Tag;
};

// How much of a file holds what Exiv2 reads of it for a saved copy: its
// first Extent bytes.  What lies further and would be kept is told here,
// so that it can be refused, or left out as Exiv2 would leave it out,
// without being read: an XMP packet or IPTC records too large for a
// segment (their sizes in Unread), and the values of UnreadValues.
// Pieces, when given, are the only parts of those bytes Exiv2 reads: the
// rest need not be read (a TIFF file's values may lie far apart).
struct TFilePiece {
  std::uint64_t At = 0;
  std::uint64_t Bytes = 0;
};
struct TMetadataReach {
  std::uint64_t Extent = 0;
  TMetadataSizes Unread;
  std::vector<TUnreadValue> UnreadValues;
  std::vector<TFilePiece> Pieces;
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
