#include "picture_io/jpeg_export.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "picture_io/error.h"
#include "picture_io/file_replace.h"
#include "picture_io/jpeg_encoder.h"
#include "picture_io/picture_metadata.h"

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
  const std::uint8_t head[] = {0xFF, 0xE1, 0x00, 0xC9, 'E', 'x', 'i', 'f', 0, 0,
                               'M', 'M', 0x00, 0x2A, 0, 0, 0, 8, 0x00, 0x03};
  std::memcpy(segment.data(), head, sizeof(head));
  PutTextEntry(segment, kMakeEntry, 0x010F, kMakeSlot, make, kLongestSlotText);
  PutTextEntry(segment, kModelEntry, 0x0110, kModelSlot, model, kLongestSlotText);
  PutTextEntry(segment, kSoftwareEntry, 0x0131, kSoftwareSlot,
               std::string(kExifSoftware, kSoftwareFieldSize - 1), kSoftwareFieldSize - 1);
  // The next-directory offset behind the entries stays 0: there is none.
  return segment;
}

std::array<std::uint8_t, kCommentSegmentSize> MakeCommentSegment() {
  std::array<std::uint8_t, kCommentSegmentSize> segment{0xFF, 0xFE};
  PutU16(segment.data() + 2, 2 + kBannerSize);
  std::memcpy(segment.data() + 4, kJpegBanner, kBannerSize);
  return segment;
}

}  // namespace

std::vector<std::uint8_t> BuildJpegWithExif(const std::vector<std::uint8_t>& encoded,
                                            const std::string& make, const std::string& model) {
  if (encoded.size() < kEncoderHeadSize)
    throw TavrenError("", "the encoder's output is too short");
  const auto comment = MakeCommentSegment();
  const auto exif = MakeExifSegment(make, model);
  std::vector<std::uint8_t> file(encoded.size() + comment.size() + exif.size());
  auto out = std::copy_n(encoded.begin(), kEncoderHeadSize, file.begin());
  out = std::copy(comment.begin(), comment.end(), out);
  out = std::copy(exif.begin(), exif.end(), out);
  std::copy(encoded.begin() + kEncoderHeadSize, encoded.end(), out);
  return file;
}

void SaveJpegWithExif(const Image& image, const std::string& fileName,
                      const std::string& sourceFileName) {
  std::vector<std::uint8_t> encoded;
  try {
    encoded = EncodeJpeg(image);
  } catch (const TavrenError& error) {
    throw TavrenError(fileName, error.reason());
  }
  // Reading the source never throws for its content: a broken source costs
  // its texts, never the save.
  const TSourceMetadata source =
      sourceFileName.empty() ? TSourceMetadata{} : ReadSourceMetadata(sourceFileName);
  const std::vector<std::uint8_t> file = BuildJpegWithExif(encoded, source.Make, source.Model);
  ReplaceFileContents(fileName, file.data(), file.size());
}

}  // namespace tavren
