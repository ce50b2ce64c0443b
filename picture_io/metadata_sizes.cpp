#include "picture_io/metadata_sizes.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>
#include <vector>

namespace tavren {

namespace {

// Big- or little-endian numbers at offsets of a block; 0 past its end.
class TBlockNumbers {
 public:
  TBlockNumbers(const std::uint8_t* data, std::size_t size, bool bigEndian)
      : data_(data), size_(size), bigEndian_(bigEndian) {}
  std::uint64_t Number(std::uint64_t pos, unsigned bytes) const {
    if (pos > size_ || bytes > size_ - pos) return 0;
    std::uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i)
      value |= std::uint64_t{data_[pos + i]} << (8 * (bigEndian_ ? bytes - 1 - i : i));
    return value;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  bool bigEndian_;
};

// The bytes of one value of each TIFF type; 1 for a type the reader does
// not know, as Exiv2 takes it.
std::uint64_t TypeBytes(std::uint64_t type) {
  switch (type) {
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
      return 1;
  }
}

constexpr std::uint16_t kXmpTag = 700;
constexpr std::uint16_t kIptcTag = 33723;
constexpr std::uint16_t kPhotoshopTag = 34377;
constexpr std::uint16_t kSubDirectoryTags[] = {0x8769, 0x8825, 0xA005, 0x014A};
// Exiv2 reads no more directories than a block can hold; the walk stops
// at this many, far more than any file has.
constexpr std::size_t kMostDirectories = 4096;

// The records of the IPTC resources (0x0404) among Photoshop's resources.
std::uint64_t IptcInResources(const std::uint8_t* data, std::uint64_t size) {
  const TBlockNumbers numbers(data, static_cast<std::size_t>(size), true);
  std::uint64_t iptc = 0;
  std::uint64_t pos = 0;
  while (pos + 12 <= size) {
    if (std::memcmp(data + pos, "8BIM", 4) != 0) break;
    const std::uint64_t id = numbers.Number(pos + 4, 2);
    const std::uint64_t nameBytes = (numbers.Number(pos + 6, 1) + 2) & ~std::uint64_t{1};
    const std::uint64_t length = numbers.Number(pos + 6 + nameBytes, 4);
    const std::uint64_t start = pos + 6 + nameBytes + 4;
    if (start > size || length > size - start) break;
    if (id == 0x0404) iptc += length;
    pos = start + length + (length & 1);
  }
  return iptc;
}

// A walk through the directories of a TIFF-structured block.
class TDirectoryWalk {
 public:
  TDirectoryWalk(const std::uint8_t* data, std::size_t size)
      : data_(data), size_(size), numbers_(data, size, size >= 2 && data[0] == 'M') {}

  // False when the block does not begin with a classic TIFF header.
  bool Walk(TMetadataSizes& sizes) {
    if (size_ < 8 || !(std::memcmp(data_, "II*\0", 4) == 0 || std::memcmp(data_, "MM\0*", 4) == 0))
      return false;
    std::vector<std::uint64_t> pending = {numbers_.Number(4, 4)};
    bool first = true;
    while (!pending.empty() && visited_.size() < kMostDirectories) {
      const std::uint64_t directory = pending.back();
      pending.pop_back();
      if (directory < 8 || directory >= size_ || !visited_.insert(directory).second) continue;
      ReadDirectory(directory, first, sizes, pending);
      first = false;
    }
    return true;
  }

 private:
  void ReadDirectory(std::uint64_t directory, bool first, TMetadataSizes& sizes,
                     std::vector<std::uint64_t>& pending) {
    const std::uint64_t fits =
        (size_ - directory - std::min<std::uint64_t>(2, size_ - directory)) / 12;
    const std::uint64_t entries = std::min(numbers_.Number(directory, 2), fits);
    for (std::uint64_t e = 0; e < entries; ++e) {
      const std::uint64_t entry = directory + 2 + 12 * e;
      const auto tag = static_cast<std::uint16_t>(numbers_.Number(entry, 2));
      const std::uint64_t count = numbers_.Number(entry + 4, 4);
      const std::uint64_t bytes = count * TypeBytes(numbers_.Number(entry + 2, 2));
      const std::uint64_t at = bytes <= 4 ? entry + 8 : numbers_.Number(entry + 8, 4);
      if (at > size_ || bytes > size_ - at) continue;  // Exiv2 leaves such a value out
      sizes.ExifValues += bytes;
      if (first) NoteFirstDirectoryBlock(tag, at, bytes, sizes);
      if (std::find(std::begin(kSubDirectoryTags), std::end(kSubDirectoryTags), tag) !=
          std::end(kSubDirectoryTags))
        for (std::uint64_t i = 0; i < bytes / 4 && i < kMostDirectories; ++i)
          pending.push_back(numbers_.Number(at + 4 * i, 4));
    }
    // The next directory of the chain: IFD0 is followed by the thumbnail's
    // and, in a TIFF file, by the other pages'.
    pending.push_back(numbers_.Number(directory + 2 + 12 * entries, 4));
  }

  void NoteFirstDirectoryBlock(std::uint16_t tag, std::uint64_t at, std::uint64_t bytes,
                               TMetadataSizes& sizes) const {
    if (tag == kXmpTag) sizes.Xmp = bytes;
    if (tag == kIptcTag) sizes.Iptc = bytes;
    if (tag == kPhotoshopTag && sizes.Iptc == 0) sizes.Iptc = IptcInResources(data_ + at, bytes);
  }

  const std::uint8_t* data_;
  std::size_t size_;
  TBlockNumbers numbers_;
  std::set<std::uint64_t> visited_;
};

// The TIFF-structured part of an EXIF block that may carry the "Exif"
// identifier of a JPEG segment in front.
void MeasureExifBlock(const std::uint8_t* data, std::size_t size, TMetadataSizes& sizes) {
  if (size >= 6 && std::memcmp(data, "Exif\0\0", 6) == 0) {
    data += 6;
    size -= 6;
  }
  sizes.Exif = std::max<std::uint64_t>(sizes.Exif, size);
  sizes.ExifHolder = std::max<std::uint64_t>(sizes.ExifHolder, size);
  sizes.ExifValues = std::max(sizes.ExifValues, ExifValueBytes(data, size));
}

// A text chunk's keyword, and what Exiv2 takes from the chunk: a packet or
// a profile written in hexadecimal digits, two for each byte.
void MeasureTextChunk(const std::uint8_t* data, std::size_t size, TMetadataSizes& sizes) {
  const auto* end =
      static_cast<const std::uint8_t*>(std::memchr(data, 0, std::min<std::size_t>(size, 80)));
  if (end == nullptr) return;
  const std::string_view keyword(reinterpret_cast<const char*>(data), end - data);
  const std::uint64_t text = size - (end - data) - 1;
  if (keyword == "XML:com.adobe.xmp") sizes.Xmp = std::max(sizes.Xmp, text);
  if (keyword == "Raw profile type xmp") sizes.Xmp = std::max(sizes.Xmp, text / 2);
  if (keyword == "Raw profile type exif" || keyword == "Raw profile type APP1")
    sizes.Exif = std::max(sizes.Exif, text / 2);
  if (keyword == "Raw profile type iptc" || keyword == "Raw profile type 8bim")
    sizes.Iptc = std::max(sizes.Iptc, text / 2);
}

}  // namespace

std::uint64_t ExifValueBytes(const std::uint8_t* data, std::size_t size) {
  TMetadataSizes sizes;
  TDirectoryWalk(data, size).Walk(sizes);
  return sizes.ExifValues;
}

TMetadataSizes MeasureTiffMetadata(const std::uint8_t* data, std::size_t size) {
  TMetadataSizes sizes;
  if (data != nullptr && TDirectoryWalk(data, size).Walk(sizes)) sizes.ExifHolder = size;
  return sizes;
}

TMetadataSizes MeasurePngMetadata(const std::uint8_t* data, std::size_t size) {
  TMetadataSizes sizes;
  const TBlockNumbers numbers(data, size, true);
  std::uint64_t pos = 8;
  while (data != nullptr && pos + 12 <= size) {
    const std::uint64_t length = numbers.Number(pos, 4);
    if (length > size - pos - 12) break;
    const std::string_view type(reinterpret_cast<const char*>(data + pos + 4), 4);
    const std::uint8_t* chunk = data + pos + 8;
    if (type == "eXIf") MeasureExifBlock(chunk, static_cast<std::size_t>(length), sizes);
    if (type == "tEXt" || type == "zTXt" || type == "iTXt")
      MeasureTextChunk(chunk, static_cast<std::size_t>(length), sizes);
    if (type == "IEND") break;
    pos += 12 + length;
  }
  return sizes;
}

TMetadataSizes MeasureWebpMetadata(const std::uint8_t* data, std::size_t size) {
  TMetadataSizes sizes;
  const TBlockNumbers numbers(data, size, false);
  std::uint64_t pos = 12;
  while (data != nullptr && pos + 8 <= size) {
    const std::uint64_t length = numbers.Number(pos + 4, 4);
    const std::string_view type(reinterpret_cast<const char*>(data + pos), 4);
    const std::uint64_t held = std::min<std::uint64_t>(length, size - pos - 8);
    if (type == "EXIF") MeasureExifBlock(data + pos + 8, static_cast<std::size_t>(held), sizes);
    if (type == "XMP ") sizes.Xmp = std::max(sizes.Xmp, held);
    pos += 8 + length + (length & 1);
  }
  return sizes;
}

}  // namespace tavren
