#include "jpeg_export/metadata_copy.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <span>

#include "picture_io/byte_source.h"
#include "picture_io/metadata_sizes.h"
#include "picture_io/picture_formats.h"
#include "picture_io/picture_limits.h"
#include "system/error.h"
#include "system/file_bytes.h"

namespace tavren {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Exiv2 is not documented as safe on several threads at once, and its XMP
// toolkit must be set up before first use; a copy takes milliseconds, so
// the pictures of a batch take turns here.
std::mutex& Exiv2Turn() {
  static std::mutex turn;
  return turn;
}

// Once per process, inside the turn: no messages of the library's own on
// stderr (a broken block is ours to report), and the XMP toolkit ready.
void PrepareExiv2() {
  static bool prepared = false;
  if (prepared) return;
  Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
  Exiv2::XmpParser::initialize();
  prepared = true;
}

constexpr std::size_t kLongestSegment = 0xFFFF;  // the length field counts itself
const std::string kExifIdentifier("Exif\0\0", 6);
const std::string kXmpIdentifier("http://ns.adobe.com/xap/1.0/\0", 29);
const std::string kPhotoshopIdentifier("Photoshop 3.0\0", 14);

// Throws the reason when a block of size bytes behind identifier does not
// fit one segment.
void RequireRoom(std::uint64_t size, const std::string& identifier, const char* what) {
  if (size > kLongestSegment - 2 - identifier.size())
    throw TavrenError("", std::string("the ") + what + " is too large for a JPEG segment");
}

void AppendSegment(Bytes& out, std::uint8_t marker, const std::string& identifier,
                   const std::uint8_t* data, std::size_t size, const char* what) {
  RequireRoom(size, identifier, what);
  const std::size_t length = 2 + identifier.size() + size;
  out.insert(out.end(), {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                         static_cast<std::uint8_t>(length)});
  out.insert(out.end(), identifier.begin(), identifier.end());
  out.insert(out.end(), data, data + size);
}

template <typename Unwanted>
void EraseWhere(Exiv2::ExifData& exif, Unwanted unwanted) {
  for (auto it = exif.begin(); it != exif.end();)
    it = unwanted(*it) ? exif.erase(it) : std::next(it);
}

// The first directory's tags of the stored pixels say nothing true of the
// saved JPEG, whose frame header states its own layout.
bool IsStoredPixelsTag(const Exiv2::Exifdatum& datum) {
  return datum.groupName() == "Image" && DescribesStoredPixels(datum.tag());
}

// The thumbnail directory shows the unprocessed picture.  The maker's
// private block is not copied either: Exiv2 writes it anew from its own
// reading of it, which is wrong for blocks that other programs have moved
// (the copy would hold values the camera never wrote), and many hold a
// preview of the unprocessed picture as well.
bool IsLeftBehind(const Exiv2::Exifdatum& datum) {
  const std::string group = datum.groupName();
  return group == "Thumbnail" || datum.key() == "Exif.Photo.MakerNote" ||
         Exiv2::ExifTags::isMakerGroup(group) || IsStoredPixelsTag(datum);
}

void UpdateExif(Exiv2::ExifData& exif, const TSavedPicture& saved) {
  EraseWhere(exif, IsLeftBehind);
  if (exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation")) != exif.end())
    exif["Exif.Image.Orientation"] = std::uint16_t{1};
  exif["Exif.Image.Software"] = saved.Software;
  exif["Exif.Photo.PixelXDimension"] = static_cast<std::uint32_t>(saved.Width);
  exif["Exif.Photo.PixelYDimension"] = static_cast<std::uint32_t>(saved.Height);
}

// Only what the source's packet holds is changed: no packet gains a
// property it did not have.
void SetIfPresent(Exiv2::XmpData& xmp, const char* key, const std::string& value) {
  if (xmp.findKey(Exiv2::XmpKey(key)) != xmp.end()) xmp[key] = value;
}

void UpdateXmp(Exiv2::XmpData& xmp, const TSavedPicture& saved) {
  const std::string width = std::to_string(saved.Width);
  const std::string height = std::to_string(saved.Height);
  SetIfPresent(xmp, "Xmp.tiff.Orientation", "1");
  SetIfPresent(xmp, "Xmp.exif.PixelXDimension", width);
  SetIfPresent(xmp, "Xmp.exif.PixelYDimension", height);
  SetIfPresent(xmp, "Xmp.tiff.ImageWidth", width);
  SetIfPresent(xmp, "Xmp.tiff.ImageLength", height);
}

void AppendExif(Bytes& out, Exiv2::ExifData exif, Exiv2::ByteOrder order,
                const TSavedPicture& saved) {
  UpdateExif(exif, saved);
  Exiv2::Blob tiff;
  Exiv2::ExifParser::encode(tiff, order == Exiv2::invalidByteOrder ? Exiv2::bigEndian : order,
                            exif);
  AppendSegment(out, 0xE1, kExifIdentifier, tiff.data(), tiff.size(), "EXIF block");
}

void AppendXmp(Bytes& out, Exiv2::XmpData xmp, const TSavedPicture& saved) {
  if (xmp.empty()) return;
  UpdateXmp(xmp, saved);
  std::string packet;
  if (Exiv2::XmpParser::encode(packet, xmp, Exiv2::XmpParser::useCompactFormat) != 0)
    throw TavrenError("", "the XMP packet cannot be written");
  AppendSegment(out, 0xE1, kXmpIdentifier, reinterpret_cast<const std::uint8_t*>(packet.data()),
                packet.size(), "XMP packet");
}

// The IPTC records alone, in the Photoshop resource block that holds them;
// the block's other resources (a thumbnail among them) are not copied.
void AppendIptc(Bytes& out, const Exiv2::IptcData& iptc) {
  if (iptc.empty()) return;
  const Exiv2::DataBuf block = Exiv2::Photoshop::setIptcIrb(nullptr, 0, iptc);
  AppendSegment(out, 0xED, kPhotoshopIdentifier, block.pData_,
                static_cast<std::size_t>(block.size_), "IPTC block");
}

// Runs make() in Exiv2's turn, its errors as ours.
template <typename Make>
Bytes InExiv2sTurn(Make make) {
  const std::lock_guard<std::mutex> turn(Exiv2Turn());
  PrepareExiv2();
  try {
    return make();
  } catch (const TavrenError&) {
    throw;
  } catch (const std::exception& error) {  // Exiv2's own errors among them
    throw TavrenError("", error.what());
  }
}

const char* GroupName(TKeptDirectory directory) {
  switch (directory) {
    case TKeptDirectory::Image:
      return "Image";
    case TKeptDirectory::Photo:
      return "Photo";
    case TKeptDirectory::GpsInfo:
      return "GPSInfo";
    case TKeptDirectory::Iop:
      return "Iop";
  }
  return "";
}

// Exiv2 leaves out of an EXIF block that does not fit its segment the
// unknown tags larger than 4 kB and the known ones larger than 20 kB.
bool LeftOutOfAFullSegment(const Exiv2::Exifdatum& datum) {
  return (datum.size() > 4096 && datum.tagName().substr(0, 2) == "0x") || datum.size() > 20480;
}

// The values too large for any segment were not read: Exiv2 found them
// empty.  Had it read them, they would have made the block too large for
// its segment and it would have left them out with the other large values;
// so are they left out here.
void LeaveOutUnread(Exiv2::ExifData& exif, const std::vector<TUnreadValue>& unread) {
  if (unread.empty()) return;
  EraseWhere(exif, [&](const Exiv2::Exifdatum& datum) {
    return datum.size() == 0 &&
           std::any_of(unread.begin(), unread.end(), [&](const TUnreadValue& value) {
             return value.Tag == datum.tag() && datum.groupName() == GroupName(value.Directory);
           });
  });
  EraseWhere(exif, LeftOutOfAFullSegment);
}

// The segments from the source file as Exiv2 reads it, without the values
// that were not read.
Bytes SegmentsOfFile(std::span<const std::uint8_t> sourceBytes,
                     const std::vector<TUnreadValue>& unread, const TSavedPicture& saved) {
  return InExiv2sTurn([&] {
    const auto source =
        Exiv2::ImageFactory::open(sourceBytes.data(), static_cast<long>(sourceBytes.size()));
    source->readMetadata();
    Exiv2::ExifData exif = source->exifData();
    LeaveOutUnread(exif, unread);
    Bytes segments;
    AppendExif(segments, exif, source->byteOrder(), saved);
    AppendXmp(segments, source->xmpData(), saved);
    AppendIptc(segments, source->iptcData());
    return segments;
  });
}

// The segments from the blocks alone, decoded as Exiv2 decodes them in a
// JPEG file: a block it cannot read is left out.
Bytes SegmentsOfBlocks(const TPictureBlocks& blocks, const TSavedPicture& saved) {
  return InExiv2sTurn([&] {
    Exiv2::ExifData exif;
    Exiv2::ByteOrder order = Exiv2::invalidByteOrder;
    if (!blocks.Exif.empty())
      order = Exiv2::ExifParser::decode(exif, blocks.Exif.data(),
                                        static_cast<std::uint32_t>(blocks.Exif.size()));
    if (order == Exiv2::invalidByteOrder) exif.clear();
    Exiv2::XmpData xmp;
    if (!blocks.Xmp.empty() && Exiv2::XmpParser::decode(xmp, blocks.Xmp) != 0) xmp.clear();
    Bytes segments;
    AppendExif(segments, exif, order, saved);
    AppendXmp(segments, xmp, saved);
    return segments;
  });
}

// A sound block's values lie side by side; a few overlaps are allowed
// (some writers share a text), a block whose values add up to far more
// than it holds would make Exiv2 copy its bytes again for every entry.
constexpr std::uint64_t kOverlapAllowed = 1u << 20;

// Refuses, before Exiv2 reads them, blocks that cannot be kept: those that
// do not fit a segment, with the reason the segment gives.
void RequireKeepable(const TMetadataSizes& sizes) {
  RequireRoom(sizes.Exif, kExifIdentifier, "EXIF block");
  RequireRoom(sizes.Xmp, kXmpIdentifier, "XMP packet");
  RequireRoom(sizes.Iptc, kPhotoshopIdentifier, "IPTC block");
  if (sizes.ExifValues > sizes.ExifHolder + kOverlapAllowed)
    throw TavrenError("", "the EXIF block is damaged (its values add up to " +
                              std::to_string(sizes.ExifValues) + " bytes in " +
                              std::to_string(sizes.ExifHolder) + ")");
}

TMetadataSizes SizesOfBlocks(const TPictureBlocks& blocks) {
  TMetadataSizes sizes;
  sizes.Exif = sizes.ExifHolder = blocks.Exif.size();
  sizes.ExifValues = ExifValueBytes(blocks.Exif.data(), blocks.Exif.size());
  sizes.Xmp = blocks.Xmp.size();
  return sizes;
}

// A block of zero bytes whose pages the system puts in place only where
// they are written.
struct TFreeBlock {
  void operator()(std::uint8_t* block) const { std::free(block); }
};
using TZeroBlock = std::unique_ptr<std::uint8_t[], TFreeBlock>;

// The first reach.Extent bytes of the file as Exiv2 reads them: its pieces
// read into their places, the bytes between them zero and never touched,
// so that values far apart cost only themselves.
std::span<const std::uint8_t> ReadPieces(const TByteSource& source, TMetadataReach& reach,
                                         const std::string& name, TZeroBlock& block) {
  block.reset(static_cast<std::uint8_t*>(std::calloc(std::max<std::uint64_t>(reach.Extent, 1), 1)));
  if (block == nullptr) throw std::bad_alloc();
  std::sort(reach.Pieces.begin(), reach.Pieces.end(),
            [](const TFilePiece& a, const TFilePiece& b) { return a.At < b.At; });
  std::uint64_t done = 0;  // read up to here: overlapping pieces are read once
  for (const TFilePiece& piece : reach.Pieces) {
    const std::uint64_t from = std::max(piece.At, done);
    const std::uint64_t to = std::min(piece.At + piece.Bytes, reach.Extent);
    if (from >= to) continue;
    if (!source.Read(from, block.get() + from, static_cast<std::size_t>(to - from)))
      throw TavrenError(name, "the file cannot be read");
    done = to;
  }
  return {block.get(), static_cast<std::size_t>(reach.Extent)};
}

}  // namespace

Bytes KeptMetadataSegments(const std::string& sourceFileName, const TSavedPicture& saved) {
  // The source is read into memory: Exiv2 then never opens a path itself
  // (where a name could be taken for an address on the network).  Only
  // as much of it as holds what Exiv2 reads: a file's tail behind its
  // format's end is never read.
  const TPictureFile file(sourceFileName);
  const TFileByteSource source(file);
  const TPictureFormat* format = FormatOfPath(sourceFileName);
  if (format != nullptr && format->KeptBlocks != nullptr) {
    const TPictureBlocks blocks = format->KeptBlocks(source);
    RequireKeepable(SizesOfBlocks(blocks));
    return SegmentsOfBlocks(blocks, saved);
  }
  TMetadataReach reach;
  if (format != nullptr && format->MetadataReach != nullptr)
    reach = format->MetadataReach(source);
  else
    reach.Extent = source.Size();
  RequireKeepable(reach.Unread);
  Bytes storage;
  TZeroBlock pieces;
  const std::span<const std::uint8_t> bytes =
      reach.Pieces.empty() ? source.ReadFront(storage, reach.Extent)
                           : ReadPieces(source, reach, sourceFileName, pieces);
  if (format != nullptr && format->MeasureMetadata != nullptr)
    RequireKeepable(format->MeasureMetadata(bytes.data(), bytes.size()));
  return SegmentsOfFile(bytes, reach.UnreadValues, saved);
}

}  // namespace tavren
