// What the program knows of one picture format, as one entry of the format
// table (picture_formats.h), and the results its functions give.  Each
// format's functions live in its decoder's file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "imaging/image.h"
#include "imaging/row_follower.h"
#include "picture_io/byte_source.h"
#include "picture_io/orientation.h"
#include "picture_io/picture_blocks.h"
#include "system/error.h"

namespace tavren {

struct TPictureSize;
struct TSourceMetadata;

// Bytes that a file of a format holds at an offset from its start.
struct TSignaturePart {
  std::size_t Offset = 0;
  std::string_view Bytes;
};

struct TPictureFormat {
  // The format's name in messages ("PNG").
  std::string_view Name;
  // The open dialog's name of the filter that shows it; formats that
  // follow one another under the same name share one filter.
  std::string_view DialogFilter;
  // The extensions of its files, lower case with their dot; a file is
  // taken for a picture of the format by its extension alone.
  std::vector<std::string_view> Extensions;
  // The extensions a picture is written under in this format; empty for a
  // format the program only reads.
  std::vector<std::string_view> SaveExtensions;
  // Null when the program always reads the format; otherwise whether the
  // installed libraries decode it.
  bool (*Available)() = nullptr;
  // The ways a file of the format begins, each a list of parts that must
  // all be there (HasSignature).
  std::vector<std::vector<TSignaturePart>> Signatures;
  // The checks of the file's headers that can be made before the rest of
  // the file is read (null when the format has none); throws TavrenError.
  void (*CheckHeader)(const TByteSource& file, const std::string& name) = nullptr;
  // The picture's size from the file's headers alone, with every check the
  // headers allow; throws TavrenError.
  TPictureSize (*ReadSize)(const TByteSource& file, const std::string& name) = nullptr;
  // The picture of the file, upright; throws TavrenError.  A follower
  // sees the rows while they are decoded, where the format can show them
  // (JPEG); others never start it.
  Image (*Decode)(const TByteSource& file, const std::string& name,
                  TRowFollower* follower) = nullptr;
  // Make, model and colour profile; never throws (what cannot be read stays
  // empty).  Null when the format carries none.
  TSourceMetadata (*ReadMetadata)(const TByteSource& file) = nullptr;
  // The EXIF block and XMP packet a saved copy keeps, for a format whose
  // blocks are handed to Exiv2 on their own (HEIF: Exiv2 would take the
  // file for a movie); never throws.  Null where Exiv2 reads the file.
  TPictureBlocks (*KeptBlocks)(const TByteSource& file) = nullptr;
  // The sizes of the blocks Exiv2 finds when it reads the file, so that
  // blocks too large to keep are refused before it reads them; never
  // throws.  Null where the format's blocks are all small (JPEG: each is a
  // segment) or come through KeptBlocks.
  TMetadataSizes (*MeasureMetadata)(const std::uint8_t* data, std::size_t size) = nullptr;
  // How many bytes from the file's start hold all that Exiv2 reads of it,
  // so that a file with a long tail is not read whole for its metadata,
  // and what lies beyond them that a copy would keep; never throws.  Null
  // where that is the whole file.
  TMetadataReach (*MetadataReach)(const TByteSource& file) = nullptr;
};

// The size of a picture as it is shown (upright).
struct TPictureSize {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
};

// What a saved copy takes over from the picture file it came from, besides
// the pixels: the camera's make and model and the colour profile.
struct TSourceMetadata {
  std::string Make;                      // empty when absent
  std::string Model;                     // empty when absent
  std::vector<std::uint8_t> IccProfile;  // the whole ICC profile; empty when none
};

// True when data begins as one of format's signatures says.
bool HasSignature(const TPictureFormat& format, const std::uint8_t* data, std::size_t size);

// How much of a file that does not begin as its format's files do is read
// to judge it: the libraries tell content of another kind from its first
// bytes, and far fewer than these.
inline constexpr std::size_t kContentProbeBytes = std::size_t{1} << 20;

// For a format whose readers take the whole file (no CheckHeader): when
// file is larger than kContentProbeBytes and does not begin with one of
// the format's signatures, the format's size reader judges its head alone
// and throws the refusal it gives the whole file, so that a large file of
// another kind is refused without being read.  A head the reader accepts
// (a library may read more than the signatures name) lets the whole file
// be read as before.
void RequireContentBeforeWholeRead(const TPictureFormat& format, const TByteSource& file,
                                   const std::string& name);

// The size of a stored width x height picture shown as the EXIF
// orientation says: orientations 5 to 8 turn it by a quarter.
TPictureSize UprightSize(std::int32_t width, std::int32_t height, int orientation);

// Make and model from an EXIF block (the TIFF-structured part), with the
// colour profile beside it.
TSourceMetadata MetadataFromBlocks(const TPictureBlocks& blocks);

// The entry's functions for a format that a library reads from the whole
// file in memory, made of the format's own: StoredSize(data, size, name)
// gives the width and height as stored, DecodeStored(data, size, name) the
// picture as stored, Blocks(data, size) the EXIF block and colour profile.
// TurningBlocks: the blocks whose EXIF orientation turns the picture (PNG,
// WebP); nullptr where the file's own transformations already stand it
// upright (HEIF, TIFF).
template <auto StoredSize, auto TurningBlocks = nullptr>
TPictureSize ReadWholeFileSize(const TByteSource& file, const std::string& name) {
  std::vector<std::uint8_t> storage;
  const std::span<const std::uint8_t> bytes = file.ReadWhole(storage);
  const auto [width, height] = StoredSize(bytes.data(), bytes.size(), name);
  if constexpr (std::is_same_v<decltype(TurningBlocks), std::nullptr_t>)
    return {width, height};
  else
    return UprightSize(width, height,
                       ExifOrientation(TurningBlocks(bytes.data(), bytes.size()).Exif));
}

template <auto DecodeStored, auto TurningBlocks = nullptr>
Image DecodeWholeFile(const TByteSource& file, const std::string& name, TRowFollower*) {
  std::vector<std::uint8_t> storage;
  const std::span<const std::uint8_t> bytes = file.ReadWhole(storage);
  const std::uint8_t* data = bytes.data();
  if constexpr (std::is_same_v<decltype(TurningBlocks), std::nullptr_t>)
    return DecodeStored(data, bytes.size(), name);
  else
    return UprightByExif(DecodeStored(data, bytes.size(), name),
                         TurningBlocks(data, bytes.size()).Exif);
}

// The entry's decoder for a format whose own decoder takes the whole file
// in memory and the follower: Load(data, size, name, follower).
template <auto Load>
Image DecodeFileBytes(const TByteSource& file, const std::string& name, TRowFollower* follower) {
  std::vector<std::uint8_t> storage;
  const std::span<const std::uint8_t> bytes = file.ReadWhole(storage);
  return Load(bytes.data(), bytes.size(), name, follower);
}

template <auto Blocks>
TSourceMetadata ReadWholeFileMetadata(const TByteSource& file) {
  std::vector<std::uint8_t> storage;
  try {
    const std::span<const std::uint8_t> bytes = file.ReadWhole(storage);
    return MetadataFromBlocks(Blocks(bytes.data(), bytes.size()));
  } catch (const TavrenError&) {
    return {};
  }
}

}  // namespace tavren
