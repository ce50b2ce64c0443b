#include "picture_io/picture_metadata.h"

#include "picture_io/byte_source.h"
#include "picture_io/exif_reader.h"
#include "picture_io/jpeg_icc_profile.h"
#include "picture_io/picture_kind.h"

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

}  // namespace

TSourceMetadata ReadSourceMetadata(const std::string& path) {
  if (HasKind(path, kKindJpeg)) return ReadJpegMetadata(path);
  return {};
}

}  // namespace tavren
