#include "jpeg_export/jpeg_export.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <span>

#include "jpeg_export/jpeg_encoder.h"
#include "jpeg_export/metadata_copy.h"
#include "picture_io/picture_metadata.h"
#include "system/error.h"
#include "system/file_replace.h"

namespace tavren {

namespace {

constexpr std::size_t kEncoderHeadSize = 20;  // start-of-image and the JFIF segment
constexpr std::size_t kBannerSize = 83;
constexpr std::size_t kCommentSegmentSize = 4 + kBannerSize;
constexpr std::size_t kExifSegmentSize = 203;
constexpr std::size_t kSoftwareFieldSize = 43;
static_assert(sizeof(kJpegBanner) - 1 == kBannerSize);
static_assert(sizeof(kExifSoftware) == kSoftwareFieldSize, "42 letters and the terminating zero");

// Positions within the EXIF segment, from 0; TIFF offsets count from the
// TIFF header at kTiffStart.
constexpr std::size_t kTiffStart = 10;
constexpr std::size_t kMakeEntry = 20;
constexpr std::size_t kModelEntry = 32;
constexpr std::size_t kSoftwareEntry = 44;
constexpr std::uint32_t kMakeSlot = 50;  // TIFF offsets of the text slots
constexpr std::uint32_t kModelSlot = 100;
constexpr std::uint32_t kSoftwareSlot = 150;
constexpr std::size_t kSlotSize = 50;
// A text keeps its terminating zero inside its slot.
constexpr std::size_t kLongestSlotText = kSlotSize - 1;

using Bytes = std::vector<std::uint8_t>;
using ExifSegment = std::array<std::uint8_t, kExifSegmentSize>;

void PutU16(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value >> 8);
  p[1] = static_cast<std::uint8_t>(value);
}

void PutU32(std::uint8_t* p, std::uint32_t value) {
  PutU16(p, value >> 16);
  PutU16(p + 2, value);
}

// An ASCII directory entry.  The count includes the terminating zero; a
// text of up to three letters with its zero stands in the entry's value
// field and leaves its slot empty, as every TIFF reader expects.  An empty
// text has count 0 and keeps its slot's offset.
void PutTextEntry(ExifSegment& segment, std::size_t entry, std::uint16_t tag, std::uint32_t slot,
                  const std::string& text, std::size_t longest) {
  const std::size_t length = std::min(text.size(), longest);
  const auto count = static_cast<std::uint32_t>(length == 0 ? 0 : length + 1);
  std::uint8_t* p = segment.data() + entry;
  PutU16(p, tag);
  PutU16(p + 2, 2);  // ASCII
  PutU32(p + 4, count);
  if (count > 0 && count <= 4) {
    std::memcpy(p + 8, text.data(), length);
  } else {
    PutU32(p + 8, slot);
    std::memcpy(segment.data() + kTiffStart + slot, text.data(), length);
  }
}

ExifSegment MakeExifSegment(const std::string& make, const std::string& model) {
  ExifSegment segment{};
  const std::uint8_t head[] = {0xFF, 0xE1, 0x00, 0xC9, 'E', 'x', 'i', 'f', 0,    0,
                               'M',  'M',  0x00, 0x2A, 0,   0,   0,   8,   0x00, 0x03};
  std::memcpy(segment.data(), head, sizeof(head));
  PutTextEntry(segment, kMakeEntry, 0x010F, kMakeSlot, make, kLongestSlotText);
  PutTextEntry(segment, kModelEntry, 0x0110, kModelSlot, model, kLongestSlotText);
  PutTextEntry(segment, kSoftwareEntry, 0x0131, kSoftwareSlot,
               std::string(kExifSoftware, kSoftwareFieldSize - 1), kSoftwareFieldSize - 1);
  // The next-directory offset behind the entries stays 0: there is none.
  return segment;
}

// RGB in the data colour space field of the profile's header.
bool DescribesRgb(const Bytes& profile) {
  constexpr std::size_t kColourSpaceAt = 16;
  const std::uint8_t rgb[] = {'R', 'G', 'B', ' '};
  return profile.size() >= kColourSpaceAt + sizeof(rgb) &&
         std::equal(std::begin(rgb), std::end(rgb), profile.begin() + kColourSpaceAt);
}

// The saved pixels are RGB: a grey or CMYK profile would make viewers show
// the copy in wrong colours, so only an RGB profile is carried over.
Bytes ProfileForSavedCopy(const Bytes& sourceProfile) {
  return DescribesRgb(sourceProfile) ? sourceProfile : Bytes();
}

std::array<std::uint8_t, kCommentSegmentSize> MakeCommentSegment() {
  std::array<std::uint8_t, kCommentSegmentSize> segment{0xFF, 0xFE};
  PutU16(segment.data() + 2, 2 + kBannerSize);
  std::memcpy(segment.data() + 4, kJpegBanner, kBannerSize);
  return segment;
}

// The encoder's start-of-image and JFIF header, the comment segment, the
// given metadata segments and the rest of the encoder's output.
using Pieces = std::vector<std::span<const std::uint8_t>>;

// The saved file's pieces: the encoder's start-of-image and JFIF header, the
// comment and the metadata segments, then the rest of the encoded picture.
Pieces InsertBehindHeader(const Pieces& encoded, std::span<const std::uint8_t> comment,
                          std::span<const std::uint8_t> metadata) {
  if (encoded.empty() || encoded.front().size() < kEncoderHeadSize)
    throw TavrenError("", "the encoder's output is too short");
  Pieces file{encoded.front().first(kEncoderHeadSize), comment, metadata,
              encoded.front().subspan(kEncoderHeadSize)};
  file.insert(file.end(), encoded.begin() + 1, encoded.end());
  return file;
}

}  // namespace

std::vector<std::uint8_t> BuildJpegWithExif(const std::vector<std::uint8_t>& encoded,
                                            const std::string& make, const std::string& model) {
  const auto comment = MakeCommentSegment();
  const auto exif = MakeExifSegment(make, model);
  TJpegPieces file;
  file.Pieces = InsertBehindHeader({encoded}, comment, exif);
  return file.Joined();
}

TJpegSaveReport SaveJpegWithExif(const Image& image, const std::string& fileName,
                                 const std::string& sourceFileName, TMetadataCarryOver carryOver) {
  // Reading the source never throws for its content: a broken source costs
  // its texts and its profile, never the save.
  const TSourceMetadata source =
      sourceFileName.empty() ? TSourceMetadata{} : ReadSourceMetadata(sourceFileName);
  TJpegPieces encoded;
  try {
    encoded = EncodeJpegPieces(image, ProfileForSavedCopy(source.IccProfile));
  } catch (const TavrenError& error) {
    throw TavrenError(fileName, error.reason());
  }
  // The file is written from the encoders' buffers, without joining them.
  TJpegSaveReport report;
  const auto comment = MakeCommentSegment();
  const auto exif = MakeExifSegment(source.Make, source.Model);
  Bytes kept;
  bool keptAll = false;
  if (carryOver == TMetadataCarryOver::Everything && !sourceFileName.empty()) {
    try {
      const TSavedPicture saved{image.Width(), image.Height(), kExifSoftware};
      kept = KeptMetadataSegments(sourceFileName, saved);
      keptAll = true;
    } catch (const TavrenError& error) {
      report.MetadataNotKept = error.reason();
    }
  }
  const std::span<const std::uint8_t> metadata =
      keptAll ? std::span<const std::uint8_t>(kept) : std::span<const std::uint8_t>(exif);
  ReplaceFileContents(fileName, InsertBehindHeader(encoded.Pieces, comment, metadata));
  return report;
}

}  // namespace tavren
