#include "picture_io/picture_files.h"

#include <vector>

#include "picture_io/bmp_codec.h"
#include "picture_io/error.h"
#include "picture_io/exif_reader.h"
#include "picture_io/file_bytes.h"
#include "picture_io/jpeg_decoder.h"
#include "picture_io/orientation.h"
#include "picture_io/picture_kind.h"
#include "picture_io/file_names.h"

namespace tavren {

Image LoadPicture(const std::string& path) {
  if (HasKind(path, kKindJpeg)) return LoadJpegPicture(path);
  if (HasKind(path, kKindBmp)) return DecodeBmpFile(path);
  throw TavrenError(path, "Format " + FileExtUpper(path) + " not supported.");
}

Image LoadJpegPicture(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  return LoadJpegMemory(bytes.data(), bytes.size(), path);
}

Image LoadJpegMemory(const std::uint8_t* data, std::size_t size, const std::string& name) {
  Image image = DecodeJpeg(data, size, name);
  TExif exif;
  exif.ReadFromMemory(data, size);
  ApplyOrientation(image, exif.Orientation);
  return image;
}

Image DecodeJpegFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  return DecodeJpeg(bytes.data(), bytes.size(), path);
}

Image DecodeJpegMemory(const std::uint8_t* data, std::size_t size, const std::string& name) {
  return DecodeJpeg(data, size, name);
}

Image DecodeBmpFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  return DecodeBmp(bytes.data(), bytes.size(), path);
}

Image DecodeBmpMemory(const std::uint8_t* data, std::size_t size, const std::string& name) {
  return DecodeBmp(data, size, name);
}

void WriteBmpFile(const Image& image, const std::string& path) {
  WriteFileAtomically(path, EncodeBmp24(image));
}

}  // namespace tavren
