#include "picture_io/metadata_sizes.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "picture_io/tiff_numbers.h"

namespace tavren {

namespace {

// Big- or little-endian numbers at offsets of a block; 0 past its end.
class TBlockNumbers {
 public:
  TBlockNumbers(const std::uint8_t* data, std::size_t size, bool bigEndian)
      : data_(data), size_(size), bigEndian_(bigEndian) {}
  std::uint64_t Number(std::uint64_t pos, unsigned bytes) const {
    if (pos > size_ || bytes > size_ - pos) return 0;
    return NumberAt(data_ + pos, bytes, bigEndian_);
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  bool bigEndian_;
};

// The bytes of one value of each TIFF type; 1 for a type the reader does
// not know, as Exiv2 takes it.
std::uint64_t TypeBytes(std::uint64_t type) {
  const std::uint64_t bytes = TiffTypeBytes(type);
  return bytes == 0 ? 1 : bytes;
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

constexpr std::uint16_t kMakerNoteTag = 0x927C;

bool IsClassicTiffHeader(const std::uint8_t* data, std::size_t size) {
  return size >= 8 && (std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0);
}

// A maker's note whose directory counts its offsets from the EXIF block,
// as the directories around it do: the header it begins with and where
// its directory starts.  A note with no header known here is taken for a
// bare directory (a Canon note's layout) when it reads as one.
struct TNoteInBlock {
  std::string_view Header;
  std::uint64_t Directory;
};
constexpr TNoteInBlock kNotesInBlock[] = {{std::string_view("Nikon\0\x01", 7), 8},
                                          {std::string_view("OLYMP\0", 6), 8},
                                          {std::string_view("EPSON\0", 6), 8},
                                          {std::string_view("SONY DSC \0\0\0", 12), 12},
                                          {std::string_view("SONY CAM \0\0\0", 12), 12},
                                          {std::string_view("Panasonic\0\0\0", 12), 12},
                                          {std::string_view("AOC\0", 4), 6},
                                          {std::string_view("SIGMA\0\0\0", 8), 10},
                                          {std::string_view("FOVEON\0\0", 8), 10}};

// A maker's note whose offsets count from the note's own start, in the
// byte order written at order (Fujifilm's: always little-endian, with the
// directory's place at 8).
struct TNoteOnItsOwn {
  std::string_view Header;
  std::uint64_t Directory;
  std::uint64_t Order;
};
constexpr TNoteOnItsOwn kNotesOnTheirOwn[] = {{std::string_view("OLYMPUS\0", 8), 12, 8},
                                              {std::string_view("OM SYSTEM\0", 10), 16, 12},
                                              {std::string_view("PENTAX \0", 8), 10, 8},
                                              {std::string_view("Apple iOS\0", 10), 14, 12},
                                              {std::string_view("FUJIFILM", 8), 0, 0}};

bool BeginsWith(const std::uint8_t* data, std::uint64_t size, std::string_view header) {
  return size >= header.size() && std::memcmp(data, header.data(), header.size()) == 0;
}

// A walk through the directories of a TIFF-structured block.
class TDirectoryWalk {
 public:
  TDirectoryWalk(const std::uint8_t* data, std::size_t size)
      : TDirectoryWalk(data, size, size >= 2 && data[0] == 'M') {}
  TDirectoryWalk(const std::uint8_t* data, std::size_t size, bool bigEndian)
      : data_(data), size_(size), numbers_(data, size, bigEndian) {}

  // False when the block does not begin with a classic TIFF header.
  bool Walk(TMetadataSizes& sizes) {
    if (!IsClassicTiffHeader(data_, size_)) return false;
    WalkFrom(numbers_.Number(4, 4), sizes, true);
    return true;
  }

  // The directories from the one at directory on, the first directory of
  // the file when first is set.
  void WalkFrom(std::uint64_t start, TMetadataSizes& sizes, bool first) {
    std::vector<std::uint64_t> pending = {start};
    while (!pending.empty() && visited_.size() < kMostDirectories) {
      const std::uint64_t directory = pending.back();
      pending.pop_back();
      if (directory < 8 || directory >= size_ || !visited_.insert(directory).second) continue;
      ReadDirectory(directory, first, sizes, pending);
      first = false;
    }
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
      if (tag == kMakerNoteTag && !makerNoteSeen_) {
        makerNoteSeen_ = true;  // Exiv2 reads one, the EXIF directory's
        NoteMakerNote(at, bytes, sizes, pending);
      }
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

  // Exiv2 reads the directory of a maker's note in the layouts it knows
  // and copies its values as it copies the others' (before the copy
  // leaves the note out): they are counted as theirs are.
  void NoteMakerNote(std::uint64_t at, std::uint64_t bytes, TMetadataSizes& sizes,
                     std::vector<std::uint64_t>& pending) {
    const std::uint8_t* note = data_ + at;
    for (const TNoteInBlock& layout : kNotesInBlock)
      if (BeginsWith(note, bytes, layout.Header)) {
        pending.push_back(at + layout.Directory);
        return;
      }
    if (BeginsWith(note, bytes, std::string_view("Nikon\0\x02", 7)) && bytes >= 10 &&
        IsClassicTiffHeader(note + 10, static_cast<std::size_t>(bytes - 10))) {
      TDirectoryWalk own(note + 10, static_cast<std::size_t>(size_ - at - 10));
      own.makerNoteSeen_ = true;
      own.WalkFrom(own.numbers_.Number(4, 4), sizes, false);
      return;
    }
    for (const TNoteOnItsOwn& layout : kNotesOnTheirOwn)
      if (BeginsWith(note, bytes, layout.Header)) {
        const bool fujifilm = layout.Directory == 0;
        TDirectoryWalk own(note, static_cast<std::size_t>(size_ - at),
                           !fujifilm && numbers_.Number(at + layout.Order, 1) == 'M');
        own.makerNoteSeen_ = true;
        own.WalkFrom(fujifilm ? own.numbers_.Number(8, 4) : layout.Directory, sizes, false);
        return;
      }
    if (ReadsAsDirectory(at, bytes)) pending.push_back(at);
  }

  // A directory that fits the note and whose entries are all of types that
  // TIFF defines.
  bool ReadsAsDirectory(std::uint64_t at, std::uint64_t bytes) const {
    const std::uint64_t entries = numbers_.Number(at, 2);
    if (entries == 0 || bytes < 2 || entries > (bytes - 2) / 12) return false;
    for (std::uint64_t e = 0; e < entries; ++e) {
      const std::uint64_t type = numbers_.Number(at + 2 + 12 * e + 2, 2);
      if (type == 0 || type > 13) return false;
    }
    return true;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  TBlockNumbers numbers_;
  std::set<std::uint64_t> visited_;
  bool makerNoteSeen_ = false;
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

// Compressed text is inflated no further than this: beyond it, any of the
// blocks is too large for a JPEG segment (a profile's hexadecimal digits
// are two for each byte), and a few kilobytes of deflate data can stand
// for gigabytes.
constexpr std::uint64_t kMostInflated = 4 * 0x10000;

// The bytes of the zlib stream data[0, size) inflated, counted up to a
// little past most.
std::uint64_t InflatedBytes(const std::uint8_t* data, std::size_t size, std::uint64_t most) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return 0;
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(std::min<std::size_t>(size, 0xFFFFFFFFu));
  std::uint8_t out[16384];
  std::uint64_t total = 0;
  int status = Z_OK;
  while (status == Z_OK && total <= most) {
    stream.next_out = out;
    stream.avail_out = sizeof out;
    status = inflate(&stream, Z_NO_FLUSH);
    total += sizeof out - stream.avail_out;
  }
  inflateEnd(&stream);
  return total;
}

// The text of a text chunk behind its keyword's end, as Exiv2 takes it:
// tEXt's as it stands; zTXt's, behind the compression method, inflated;
// iTXt's, behind its flags, language and translated keyword, inflated when
// its flag says so, else counted with those fields, as it always was.
std::uint64_t TextBytes(std::string_view type, const std::uint8_t* text, std::size_t size) {
  if (type == "zTXt") return size < 1 ? 0 : InflatedBytes(text + 1, size - 1, kMostInflated);
  if (type != "iTXt" || size < 2 || text[0] != 1) return size;
  const std::uint8_t* pos = text + 2;
  const std::uint8_t* end = text + size;
  for (int field = 0; field < 2; ++field) {  // the language, the translated keyword
    pos =
        static_cast<const std::uint8_t*>(std::memchr(pos, 0, static_cast<std::size_t>(end - pos)));
    if (pos == nullptr) return 0;
    ++pos;
  }
  return InflatedBytes(pos, static_cast<std::size_t>(end - pos), kMostInflated);
}

// A text chunk's keyword, and what Exiv2 takes from the chunk: a packet or
// a profile written in hexadecimal digits, two for each byte.
void MeasureTextChunk(std::string_view type, const std::uint8_t* data, std::size_t size,
                      TMetadataSizes& sizes) {
  const auto* end =
      static_cast<const std::uint8_t*>(std::memchr(data, 0, std::min<std::size_t>(size, 80)));
  if (end == nullptr) return;
  const std::string_view keyword(reinterpret_cast<const char*>(data), end - data);
  const std::uint64_t text =
      TextBytes(type, end + 1, size - static_cast<std::size_t>(end - data) - 1);
  if (keyword == "XML:com.adobe.xmp") sizes.Xmp = std::max(sizes.Xmp, text);
  if (keyword == "Raw profile type xmp") sizes.Xmp = std::max(sizes.Xmp, text / 2);
  if (keyword == "Raw profile type exif" || keyword == "Raw profile type APP1")
    sizes.Exif = std::max(sizes.Exif, text / 2);
  if (keyword == "Raw profile type iptc" || keyword == "Raw profile type 8bim")
    sizes.Iptc = std::max(sizes.Iptc, text / 2);
}

// Calls visit(marker, start, length) for each segment of a JPEG file from
// its start-of-image marker up to the first scan, start being where the
// segment's data begins; returns where the scan's header ends.  Nothing
// when the markers do not lead there.
constexpr std::uint64_t kMostFillBytes = 1 << 16;  // more are no file's

template <typename Visit>
std::optional<std::uint64_t> WalkJpegSegments(const TByteSource& file, Visit visit) {
  std::uint8_t head[4];
  if (!file.Read(0, head, 2) || head[0] != 0xFF || head[1] != 0xD8) return std::nullopt;
  std::uint64_t pos = 2;
  std::uint64_t fill = 0;
  while (file.Read(pos, head, 2) && head[0] == 0xFF) {
    const std::uint8_t marker = head[1];
    if (marker == 0xFF) {
      if (++fill > kMostFillBytes) return std::nullopt;
      ++pos;
      continue;
    }
    fill = 0;
    if (marker == 0xD9) return pos + 2;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      pos += 2;
      continue;
    }
    if (!file.Read(pos + 2, head + 2, 2)) return std::nullopt;
    const std::uint64_t length = std::uint64_t{head[2]} << 8 | head[3];
    if (length < 2) return std::nullopt;
    if (marker == 0xDA) return pos + 2 + length;
    visit(marker, pos + 4, length - 2);
    pos += 2 + length;
  }
  return std::nullopt;
}

// What Exiv2 reads of a classic TIFF file for a saved copy, as far as the
// copy can use it.  Every value of a directory whose values are kept is
// read up to the size of a segment, a Photoshop resource block (which may
// hold the IPTC records) further; the values of the directories left out
// of the copy (the thumbnail's, the sub-images', a maker's note's, the
// first directory's tags of the stored pixels) up to a size that real
// files keep to.  A value beyond its bound is not read: Exiv2 finds it
// outside of what it is given and leaves it out.  Nor are the strips,
// tiles and thumbnails read, which no copy keeps.

// No segment holds more data than this, whatever its identifier.
constexpr std::uint64_t kLongestSegmentData = 0xFFFF - 2;
constexpr std::uint64_t kMostResourceBytes = std::uint64_t{16} << 20;
constexpr std::uint64_t kMostLeftOutValue = std::uint64_t{1} << 20;
// Exiv2 reads none of a directory of more entries, and leaves out a value
// of a count as large as this.
constexpr std::uint64_t kMostEntries = 256;
constexpr std::uint64_t kMostCount = 0x10000000;
constexpr std::uint16_t kExifTag = 0x8769, kGpsTag = 0x8825, kInteroperabilityTag = 0xA005,
                        kSubImagesTag = 0x014A, kDngPrivateTag = 0xC634;
// The first directory and those that follow it in its chain: the
// thumbnail's, then two more; Exiv2 reads no further.
constexpr unsigned kLastInChain = 3;
constexpr unsigned kNotInChain = ~0u;

// A directory of the file as Exiv2 reads it: where it lies, where its
// offsets count from (a maker's note may count from its own start), its
// byte order, and which of the kept directories it is (none for one whose
// values the copy leaves out).
struct TDirectoryPlace {
  std::uint64_t At;
  std::uint64_t Base;
  bool BigEndian;
  std::optional<TKeptDirectory> Kept;
  unsigned Chain = kNotInChain;
};

class TTiffReach {
 public:
  explicit TTiffReach(const TByteSource& file) : file_(file), size_(file.Size()) {}

  // Nothing when the file does not begin as a classic TIFF file.
  std::optional<TMetadataReach> Walk() {
    std::uint8_t header[8];
    if (!file_.Read(0, header, sizeof header) || !IsClassicTiffHeader(header, sizeof header))
      return std::nullopt;
    const bool bigEndian = header[0] == 'M';
    std::vector<TDirectoryPlace> pending = {
        {NumberAt(header + 4, 4, bigEndian), 0, bigEndian, TKeptDirectory::Image, 0}};
    while (!pending.empty()) {
      const TDirectoryPlace place = pending.back();
      pending.pop_back();
      if (place.At < 8 || place.At >= size_ || !visited_.insert(place.At).second) continue;
      ReadDirectory(place, pending);
    }
    Reach(0, 8);  // the header
    reach_.Extent = extent_;
    return reach_;
  }

 private:
  // Exiv2 reads [at, at + bytes) of the file.
  void Reach(std::uint64_t at, std::uint64_t bytes) {
    const std::uint64_t end = std::min(at + bytes, size_);
    if (at >= end) return;
    extent_ = std::max(extent_, end);
    reach_.Pieces.push_back({at, end - at});
  }

  void ReadDirectory(const TDirectoryPlace& place, std::vector<TDirectoryPlace>& pending) {
    std::uint8_t head[2];
    if (!file_.Read(place.At, head, 2)) return;
    Reach(place.At, 2);
    const std::uint64_t declared = NumberAt(head, 2, place.BigEndian);
    if (declared > kMostEntries) return;
    const std::uint64_t entries = std::min(declared, (size_ - place.At - 2) / 12);
    std::uint8_t block[12 * kMostEntries];
    if (!file_.Read(place.At + 2, block, static_cast<std::size_t>(12 * entries))) return;
    Reach(place.At + 2, 12 * entries);
    for (std::uint64_t e = 0; e < entries; ++e) {
      const std::uint8_t* entry = block + 12 * e;
      const auto tag = static_cast<std::uint16_t>(NumberAt(entry, 2, place.BigEndian));
      const std::uint64_t type = NumberAt(entry + 2, 2, place.BigEndian);
      const std::uint64_t count = NumberAt(entry + 4, 4, place.BigEndian);
      const std::uint64_t bytes = count * TypeBytes(type);
      const std::uint64_t at = bytes <= 4 ? place.At + 2 + 12 * e + 8
                                          : place.Base + NumberAt(entry + 8, 4, place.BigEndian);
      if (at > size_ || bytes > size_ - at) continue;  // Exiv2 leaves such a value out
      if (ReachValue(place, tag, count, at, bytes))
        FollowValue(place, tag, type, count, at, bytes, pending);
    }
    const std::uint64_t next = place.At + 2 + 12 * entries;
    Reach(next, 4);
    std::uint8_t link[4];
    if (place.Chain < kLastInChain && file_.Read(next, link, 4))
      pending.push_back({place.Base + NumberAt(link, 4, place.BigEndian), place.Base,
                         place.BigEndian, std::nullopt, place.Chain + 1});
  }

  // Reaches the value when it is within its bound and says so; notes a
  // kept one that is too large for any segment.  An XMP packet or IPTC
  // records too large are noted even where Exiv2 would leave their entry
  // out for its count: they were always refused.
  bool ReachValue(const TDirectoryPlace& place, std::uint16_t tag, std::uint64_t count,
                  std::uint64_t at, std::uint64_t bytes) {
    const bool image = place.Kept == TKeptDirectory::Image;
    const bool kept = place.Kept && !(image && DescribesStoredPixels(tag)) &&
                      !(place.Kept == TKeptDirectory::Photo && tag == kMakerNoteTag);
    const std::uint64_t most = !kept                           ? kMostLeftOutValue
                               : image && tag == kPhotoshopTag ? kMostResourceBytes
                                                               : kLongestSegmentData;
    const bool leftOutByExiv2 = count >= kMostCount;
    if (bytes <= most && !leftOutByExiv2) {
      Reach(at, bytes);
      return true;
    }
    if (!kept) return false;
    if (image && tag == kXmpTag)
      reach_.Unread.Xmp = std::max(reach_.Unread.Xmp, bytes);
    else if (image && tag == kIptcTag)
      reach_.Unread.Iptc = std::max(reach_.Unread.Iptc, bytes);
    else if (!leftOutByExiv2)
      reach_.UnreadValues.push_back({*place.Kept, tag});
    return false;
  }

  // The directories a value leads Exiv2 to: those of a pointer to a
  // directory, and of a maker's note.
  void FollowValue(const TDirectoryPlace& place, std::uint16_t tag, std::uint64_t type,
                   std::uint64_t count, std::uint64_t at, std::uint64_t bytes,
                   std::vector<TDirectoryPlace>& pending) {
    const bool image = place.Kept == TKeptDirectory::Image;
    const bool photo = place.Kept == TKeptDirectory::Photo;
    if ((photo && tag == kMakerNoteTag) || (image && tag == kDngPrivateTag)) {
      FollowNote(at, bytes, place.BigEndian, pending);
      return;
    }
    std::optional<TKeptDirectory> kept;
    std::uint64_t most = 1;  // Exiv2 reads so many of the directories listed
    if (image && tag == kExifTag)
      kept = TKeptDirectory::Photo;
    else if (image && tag == kGpsTag)
      kept = TKeptDirectory::GpsInfo;
    else if (photo && tag == kInteroperabilityTag)
      kept = TKeptDirectory::Iop;
    else if (tag == kSubImagesTag && (image || place.Chain == 1))
      most = image ? 9 : 1;
    else
      return;
    if (type != 4 && type != 9 && type != 13) return;  // not a pointer, to Exiv2
    std::uint8_t pointers[4 * 9];
    const auto read = static_cast<std::size_t>(4 * std::min(count, most));
    if (bytes < read || !file_.Read(at, pointers, read)) return;
    for (std::size_t i = 0; i < read; i += 4)
      pending.push_back({place.Base + NumberAt(pointers + i, 4, place.BigEndian), place.Base,
                         place.BigEndian, kept});
  }

  // The directory of a maker's note, in the layouts Exiv2 reads (a note
  // with no header known here is taken for a bare directory, a Canon
  // note's layout); its values are left out of the copy.
  void FollowNote(std::uint64_t at, std::uint64_t bytes, bool bigEndian,
                  std::vector<TDirectoryPlace>& pending) {
    std::uint8_t head[18] = {};
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, sizeof head));
    if (noteSeen_ || !file_.Read(at, head, size)) return;
    noteSeen_ = true;  // Exiv2 reads one
    for (const TNoteInBlock& layout : kNotesInBlock)
      if (BeginsWith(head, size, layout.Header)) {
        pending.push_back({at + layout.Directory, 0, bigEndian, std::nullopt});
        return;
      }
    if (BeginsWith(head, size, std::string_view("Nikon\0\x02", 7)) &&
        IsClassicTiffHeader(head + 10, size - std::min<std::size_t>(size, 10))) {
      const bool own = head[10] == 'M';
      pending.push_back({at + 10 + NumberAt(head + 14, 4, own), at + 10, own, std::nullopt});
      return;
    }
    for (const TNoteOnItsOwn& layout : kNotesOnTheirOwn)
      if (BeginsWith(head, size, layout.Header)) {
        const bool fujifilm = layout.Directory == 0;
        const bool own = !fujifilm && head[layout.Order] == 'M';
        pending.push_back({at + (fujifilm ? NumberAt(head + 8, 4, false) : layout.Directory), at,
                           own, std::nullopt});
        return;
      }
    pending.push_back({at, 0, bigEndian, std::nullopt});
  }

  const TByteSource& file_;
  std::uint64_t size_;
  std::set<std::uint64_t> visited_;
  bool noteSeen_ = false;
  std::uint64_t extent_ = 0;
  TMetadataReach reach_;
};

}  // namespace

TMetadataReach TiffMetadataReach(const TByteSource& file) {
  // Exiv2 reads no other kind of TIFF file: a file that does not begin as
  // a classic one is refused from its header as from the whole file.
  constexpr std::uint64_t kHeaderBytes = 16;
  return TTiffReach(file).Walk().value_or(
      TMetadataReach{std::min(file.Size(), kHeaderBytes), {}, {}, {}});
}

bool DescribesStoredPixels(std::uint16_t tag) {
  static constexpr std::uint16_t kTags[] = {0x00FE, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106,
                                            0x010A, 0x0111, 0x0115, 0x0116, 0x0117, 0x011C,
                                            0x013D, 0x0142, 0x0143, 0x0144, 0x0145, 0x014A,
                                            0x0152, 0x0153, 0x0201, 0x0202, 0x0212};
  return std::find(std::begin(kTags), std::end(kTags), tag) != std::end(kTags);
}

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
      MeasureTextChunk(type, chunk, static_cast<std::size_t>(length), sizes);
    if (type == "IEND") break;
    pos += 12 + length;
  }
  return sizes;
}

TMetadataSizes MeasureJpegMetadata(const std::uint8_t* data, std::size_t size) {
  TMetadataSizes sizes;
  if (data == nullptr) return sizes;
  const TMemoryByteSource file(data, size);
  static constexpr std::string_view kExif("Exif\0\0", 6);
  static constexpr std::string_view kXmp("http://ns.adobe.com/xap/1.0/\0", 29);
  static constexpr std::string_view kPhotoshop("Photoshop 3.0\0", 14);
  bool exifSeen = false, xmpSeen = false;
  std::vector<std::uint8_t> resources;  // the Photoshop segments' data, joined as Exiv2 joins it
  WalkJpegSegments(file, [&](std::uint8_t marker, std::uint64_t start, std::uint64_t length) {
    const std::uint8_t* segment = data + start;
    if (start > size || length > size - start) return;
    if (marker == 0xE1 && !exifSeen && BeginsWith(segment, length, kExif)) {
      exifSeen = true;
      MeasureExifBlock(segment, static_cast<std::size_t>(length), sizes);
    } else if (marker == 0xE1 && !xmpSeen && BeginsWith(segment, length, kXmp)) {
      xmpSeen = true;
      sizes.Xmp = length - kXmp.size();
    } else if (marker == 0xED && BeginsWith(segment, length, kPhotoshop)) {
      resources.insert(resources.end(), segment + kPhotoshop.size(), segment + length);
    }
  });
  sizes.Iptc = IptcInResources(resources.data(), resources.size());
  return sizes;
}

// Exiv2 reads a segment's first bytes before it knows the segment's length;
// a few bytes behind the scan's header let it find them where the file
// has them.
constexpr std::uint64_t kExiv2ReadAhead = 64;

std::uint64_t JpegMetadataExtent(const TByteSource& file) {
  const auto scan = WalkJpegSegments(file, [](std::uint8_t, std::uint64_t, std::uint64_t) {});
  return scan ? std::min(file.Size(), *scan + kExiv2ReadAhead) : file.Size();
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
