#include "picture_io/picture_files.h"

#include <filesystem>
#include <vector>

#include "picture_io/bmp_codec.h"
#include "picture_io/byte_source.h"
#include "system/error.h"
#include "picture_io/exif_reader.h"
#include "system/file_bytes.h"
#include "system/file_replace.h"
#include "system/file_names.h"
#include "picture_io/heif_decoder.h"
#include "picture_io/jpeg_decoder.h"
#include "picture_io/orientation.h"
#include "picture_io/picture_kind.h"
#include "picture_io/picture_limits.h"
#include "picture_io/png_decoder.h"
#include "picture_io/tiff_decoder.h"
#include "picture_io/webp_decoder.h"

namespace tavren {

namespace {

// Why path is not opened as a picture of any kind.
[[noreturn]] void RefuseKind(const std::string& path) {
  if (path.empty()) throw TavrenError(path, "the file name is empty");
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    throw TavrenError(path, "is a folder, not a picture file");
  const std::string ext = FileExt(path);
  throw TavrenError(path, (ext.empty() ? std::string("the name has no extension")
                                       : "the program does not open " + ext + " files") +
                              " (it opens " + OpenableExtensionsText() + ")");
}

// The JPEG file's picture as stored, once its signature and header passed
// their checks (before the rest of the file is read).
std::vector<std::uint8_t> ReadCheckedJpegFile(const std::string& path) {
  const TPictureFile file(path);
  ReadJpegHeader(TFileByteSource(file), path);
  return file.ReadAll();
}

std::pair<std::int32_t, std::int32_t> CheckBmpHeader(const TInputFile& file) {
  std::uint8_t head[kBmpHeadersAtMost];
  const std::size_t got = file.ReadAt(0, head, sizeof head);
  return ReadBmpHeader(head, got, file.Size(), file.Path());
}

std::vector<std::uint8_t> ReadCheckedBmpFile(const std::string& path) {
  const TPictureFile file(path);
  CheckBmpHeader(file);
  return file.ReadAll();
}

int OrientationOf(const std::vector<std::uint8_t>& exifBlock) {
  TExif exif;
  exif.ReadFromTiffBlock(exifBlock.data(), exifBlock.size());
  return exif.Orientation;
}

// Turns and mirrors image as the orientation in an EXIF block says.
Image Upright(Image image, const std::vector<std::uint8_t>& exifBlock) {
  ApplyOrientation(image, OrientationOf(exifBlock));
  return image;
}

// The size of a stored width x height picture shown as orientation says:
// orientations 5 to 8 turn it by a quarter.
TPictureSize Sized(std::pair<std::int32_t, std::int32_t> stored, int orientation) {
  if (orientation >= 5) return {stored.second, stored.first};
  return {stored.first, stored.second};
}

// The upright size that the header of a file of a kind read through a
// library declares.
TPictureSize DeclaredSize(int kind, const std::uint8_t* data, std::size_t size, const std::string& name) {
  switch (kind) {
    case kKindHeif:
    case kKindAvif: return Sized(ReadHeifSize(data, size, name), 0);  // transformations applied
    case kKindPng: return Sized(ReadPngSize(data, size, name), OrientationOf(ReadPngBlocks(data, size).Exif));
    case kKindTiff: return Sized(ReadTiffSize(data, size, name), 0);  // its Orientation applied
    default: return Sized(ReadWebpSize(data, size, name), OrientationOf(ReadWebpBlocks(data, size).Exif));
  }
}

}  // namespace

Image LoadPicture(const std::string& path, TRowFollower* follower) {
  const int kind = PictureKindOf(path);
  if (kind == kKindJpeg) return LoadJpegPicture(path, follower);
  if (kind == kKindBmp) return DecodeBmpFile(path);
  if (kind < 0) RefuseKind(path);
  const std::vector<std::uint8_t> bytes = ReadPictureFileBytes(path);
  return LoadPictureMemory(kind, bytes.data(), bytes.size(), path);
}

// HEIF and TIFF pictures come upright from their decoders; PNG and WebP
// carry the orientation in their EXIF block, as a JPEG does.
Image LoadPictureMemory(int kind, const std::uint8_t* data, std::size_t size, const std::string& name) {
  switch (kind) {
    case kKindJpeg: return LoadJpegMemory(data, size, name);
    case kKindBmp: return DecodeBmp(data, size, name);
    case kKindHeif:
    case kKindAvif: return DecodeHeif(data, size, name);
    case kKindPng: return Upright(DecodePng(data, size, name), ReadPngBlocks(data, size).Exif);
    case kKindTiff: return DecodeTiff(data, size, name);
    case kKindWebp: return Upright(DecodeWebp(data, size, name), ReadWebpBlocks(data, size).Exif);
    default: RefuseKind(name);
  }
}

TPictureSize ReadPictureSize(const std::string& path) {
  const int kind = PictureKindOf(path);
  if (kind == kKindJpeg) {
    const TPictureFile file(path);
    const TJpegHeader header = ReadJpegHeader(TFileByteSource(file), path);
    TExif exif;
    exif.ReadFromFile(path);
    return Sized({header.width, header.height}, exif.Orientation);
  }
  if (kind == kKindBmp) return Sized(CheckBmpHeader(TPictureFile(path)), 0);
  if (kind < 0) RefuseKind(path);
  const std::vector<std::uint8_t> bytes = ReadPictureFileBytes(path);
  return DeclaredSize(kind, bytes.data(), bytes.size(), path);
}

Image LoadJpegPicture(const std::string& path, TRowFollower* follower) {
  const std::vector<std::uint8_t> bytes = ReadCheckedJpegFile(path);
  return LoadJpegMemory(bytes.data(), bytes.size(), path, follower);
}

Image LoadJpegMemory(const std::uint8_t* data, std::size_t size, const std::string& name,
                     TRowFollower* follower) {
  TExif exif;
  exif.ReadFromMemory(data, size);
  // Rows that are turned or mirrored afterwards are not the picture's rows.
  const bool upright = exif.Orientation < 2 || exif.Orientation > 8;
  Image image = DecodeJpeg(data, size, name, upright ? follower : nullptr);
  ApplyOrientation(image, exif.Orientation);
  return image;
}

Image DecodeJpegFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadCheckedJpegFile(path);
  return DecodeJpeg(bytes.data(), bytes.size(), path);
}

Image DecodeJpegMemory(const std::uint8_t* data, std::size_t size, const std::string& name) {
  return DecodeJpeg(data, size, name);
}

Image DecodeBmpFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadCheckedBmpFile(path);
  return DecodeBmp(bytes.data(), bytes.size(), path);
}

Image DecodeBmpMemory(const std::uint8_t* data, std::size_t size, const std::string& name) {
  return DecodeBmp(data, size, name);
}

void WriteBmpFile(const Image& image, const std::string& path) {
  WriteFileAtomically(path, EncodeBmp24(image));
}

}  // namespace tavren
