#include "picture_io/exif_reader.h"

#include <algorithm>
#include <array>
#include <vector>

#include "system/file_bytes.h"

namespace tavren {

namespace {

constexpr std::uint16_t kTagMake = 0x010F;
constexpr std::uint16_t kTagModel = 0x0110;
constexpr std::uint16_t kTagOrientation = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::size_t kEntrySize = 12;
// An empty first directory is read as this many entries.
constexpr std::uint32_t kEntriesOfEmptyDirectory = 100;

constexpr std::array<std::uint8_t, 6> kExifIdentifier = {'E', 'x', 'i', 'f', 0, 0};

bool IsMarker(const std::uint8_t* bytes, std::uint8_t code) {
  return bytes[0] == 0xFF && bytes[1] == code;
}

// An APP1 segment at pos whose identifier is "Exif" and two zero bytes.
// Other APP1 segments (an XMP packet, for one) carry no TIFF block.
bool IsExifSegment(const TByteSource& source, std::uint64_t pos) {
  std::array<std::uint8_t, 10> head{};
  if (!source.Read(pos, head.data(), head.size())) return false;
  return IsMarker(head.data(), 0xE1) &&
         std::equal(kExifIdentifier.begin(), kExifIdentifier.end(), head.begin() + 4);
}

// Looks for the EXIF segment's marker at every byte of the window that
// kApp1SearchWords words from start cover.  A marker may stand at any
// position, so the whole window is looked at, not only every second byte.
bool FindExifSegment(const TByteSource& source, std::uint64_t start, std::uint64_t& found) {
  if (start >= source.Size()) return false;
  const std::uint64_t windowSize =
      std::min<std::uint64_t>(2 * TExif::kApp1SearchWords, source.Size() - start);
  std::vector<std::uint8_t> window(static_cast<std::size_t>(windowSize));
  if (!source.Read(start, window.data(), window.size())) return false;
  for (std::size_t i = 0; i + 1 < window.size(); ++i) {
    if (IsMarker(&window[i], 0xE1) && IsExifSegment(source, start + i)) {
      found = start + i;
      return true;
    }
  }
  return false;
}

class ByteOrder {
 public:
  explicit ByteOrder(bool bigEndian) : bigEndian_(bigEndian) {}
  std::uint16_t U16(const std::uint8_t* p) const {
    return bigEndian_ ? static_cast<std::uint16_t>(p[0] << 8 | p[1])
                      : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
  }
  std::uint32_t U32(const std::uint8_t* p) const {
    const std::uint32_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
    return bigEndian_ ? (b0 << 24 | b1 << 16 | b2 << 8 | b3) : (b3 << 24 | b2 << 16 | b1 << 8 | b0);
  }

 private:
  bool bigEndian_;
};

// Removes trailing blanks and control characters, the terminating zero
// included.
void TrimRight(std::string& text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
}

// The text of an ASCII entry with count characters.  At most count
// characters are read (writers that leave the terminating zero out of the
// count lose no letter), stopping at a zero byte.  A text that runs into the
// end of the file reads as empty.
std::string ReadText(const TByteSource& source, std::uint64_t base, const ByteOrder& order,
                     const std::uint8_t* entry) {
  const std::uint32_t count = order.U32(entry + 4);
  const std::uint8_t* valueField = entry + 8;
  std::string text;
  if (count <= 4) {
    text.assign(reinterpret_cast<const char*>(valueField), count);
  } else {
    const std::uint64_t pos = base + order.U32(valueField);
    const std::size_t wanted = std::min<std::size_t>(count, TExif::kMaxTextBytes);
    if (pos >= source.Size()) return {};
    const std::size_t available =
        static_cast<std::size_t>(std::min<std::uint64_t>(wanted, source.Size() - pos));
    text.resize(available);
    if (!source.Read(pos, text.data(), available)) return {};
    if (text.find('\0') == std::string::npos && available < wanted) return {};
  }
  const std::size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  TrimRight(text);
  return text;
}

int ReadOrientation(const ByteOrder& order, const std::uint8_t* entry) {
  if (order.U16(entry + 2) != kTypeShort || order.U32(entry + 4) < 1) return 0;
  const int value = order.U16(entry + 8);
  return value >= 1 && value <= 8 ? value : 0;
}

}  // namespace

void TExif::Clear() {
  Make.clear();
  Model.clear();
  Valid = false;
  Orientation = 0;
}

void TExif::ReadFromFile(const std::string& fileName) {
  if (!IsRegularFile(fileName)) return;
  Clear();
  const TFileByteSource source(fileName);
  Read(source);
}

void TExif::ReadFromSource(const TByteSource& source) {
  Clear();
  Read(source);
}

void TExif::ReadFromMemory(const std::uint8_t* data, std::size_t size) {
  Clear();
  if (data == nullptr) return;
  const TMemoryByteSource source(data, size);
  Read(source);
}

void TExif::ReadFromTiffBlock(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr) size = 0;
  ReadFromTiffSource(TMemoryByteSource(data, size));
}

void TExif::ReadFromTiffSource(const TByteSource& source) {
  Clear();
  if (source.Size() == 0) return;
  Valid = true;
  ReadTiffBlock(source, 0);
}

// Start-of-image, the first segment header (or the one behind a JFIF
// segment of the usual length 16), else a search in the bytes that follow;
// then the TIFF header and the first directory.
void TExif::Read(const TByteSource& source) {
  std::array<std::uint8_t, 9> head{};
  if (!source.Read(0, head.data(), 2) || !IsMarker(head.data(), 0xD8)) return;
  std::uint64_t pos = 2;
  if (!source.Read(pos, head.data(), head.size())) return;
  if (IsMarker(head.data(), 0xE0)) {
    pos = 20;
    if (!source.Read(pos, head.data(), head.size())) return;
  }
  std::uint64_t segment = pos;
  if (!IsExifSegment(source, segment) && !FindExifSegment(source, pos + head.size(), segment))
    return;
  Valid = true;
  ReadTiffBlock(source, segment + 10);  // behind "Exif" and its two zero bytes
}

// The TIFF header at base (byte order, magic number not checked, offset of
// the first directory), then the first directory.
void TExif::ReadTiffBlock(const TByteSource& source, std::uint64_t base) {
  std::array<std::uint8_t, 8> tiffHeader{};
  if (!source.Read(base, tiffHeader.data(), tiffHeader.size())) return;
  BigEndian = tiffHeader[0] == 'M' && tiffHeader[1] == 'M';
  const ByteOrder order(BigEndian);
  ReadDirectory(source, base, base + order.U32(tiffHeader.data() + 4));
}

// The first directory only: its entries are read until the count, a tag 0
// or the end of the file.  No other directory is followed.
void TExif::ReadDirectory(const TByteSource& source, std::uint64_t base, std::uint64_t directory) {
  const ByteOrder order(BigEndian);
  std::array<std::uint8_t, kEntrySize> entry{};
  if (!source.Read(directory, entry.data(), 2)) return;
  std::uint32_t count = order.U16(entry.data());
  if (count == 0) count = kEntriesOfEmptyDirectory;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!source.Read(directory + 2 + std::uint64_t{i} * kEntrySize, entry.data(), kEntrySize))
      return;
    const std::uint16_t tag = order.U16(entry.data());
    if (tag == 0) return;
    if (tag == kTagMake) Make = ReadText(source, base, order, entry.data());
    if (tag == kTagModel) Model = ReadText(source, base, order, entry.data());
    if (tag == kTagOrientation) Orientation = ReadOrientation(order, entry.data());
  }
}

}  // namespace tavren
