#include "picture_io/picture_metadata.h"

#include "picture_io/byte_source.h"
#include "system/error.h"
#include "picture_io/exif_reader.h"
#include "system/file_bytes.h"
#include "picture_io/heif_decoder.h"
#include "picture_io/jpeg_icc_profile.h"
#include "picture_io/picture_blocks.h"
#include "picture_io/picture_kind.h"
#include "picture_io/picture_limits.h"
#include "picture_io/png_decoder.h"
#include "picture_io/tiff_decoder.h"
#include "picture_io/webp_decoder.h"

namespace tavren {

namespace {

TSourceMetadata ReadJpegMetadata(const std::string& path) {
  TSourceMetadata metadata;
  TExif exif;
  exif.ReadFromFile(path);
  metadata.Make = exif.Make;
  metadata.Model = exif.Model;
  metadata.IccProfile = ReadJpegIccProfile(TFileByteSource(path));
  return metadata;
}

// Make and model from a bare EXIF block, with the profile beside it.
TSourceMetadata FromBlocks(const std::uint8_t* exifBlock, std::size_t exifSize,
                           std::vector<std::uint8_t> iccProfile) {
  TSourceMetadata metadata;
  TExif exif;
  exif.ReadFromTiffBlock(exifBlock, exifSize);
  metadata.Make = exif.Make;
  metadata.Model = exif.Model;
  metadata.IccProfile = std::move(iccProfile);
  return metadata;
}

TSourceMetadata FromBlocks(TPictureBlocks blocks) {
  return FromBlocks(blocks.Exif.data(), blocks.Exif.size(), std::move(blocks.IccProfile));
}

// A TIFF file is itself the TIFF-structured block whose first directory
// holds the make and model.
TSourceMetadata ReadTiffMetadata(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> profile = ReadTiffIccProfile(bytes.data(), bytes.size());
  if (!IsClassicTiff(bytes.data(), bytes.size())) return FromBlocks(nullptr, 0, std::move(profile));
  return FromBlocks(bytes.data(), bytes.size(), std::move(profile));
}

TSourceMetadata ReadBlockMetadata(int kind, const std::string& path) {
  std::vector<std::uint8_t> bytes;
  try {
    bytes = ReadPictureFileBytes(path);
  } catch (const TavrenError&) {
    return {};
  }
  switch (kind) {
    case kKindHeif:
    case kKindAvif: return FromBlocks(ReadHeifBlocks(bytes.data(), bytes.size()));
    case kKindPng: return FromBlocks(ReadPngBlocks(bytes.data(), bytes.size()));
    case kKindTiff: return ReadTiffMetadata(bytes);
    case kKindWebp: return FromBlocks(ReadWebpBlocks(bytes.data(), bytes.size()));
    default: return {};
  }
}

}  // namespace

TSourceMetadata ReadSourceMetadata(const std::string& path) {
  const int kind = PictureKindOf(path);
  if (kind == kKindJpeg) return ReadJpegMetadata(path);
  if (kind == kKindBmp || kind < 0) return {};
  return ReadBlockMetadata(kind, path);
}

}  // namespace tavren
