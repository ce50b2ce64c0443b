#include "imaging/picture_io.h"

#include <vector>

#include "imaging/bmp_codec.h"
#include "imaging/error.h"
#include "imaging/exif_reader.h"
#include "imaging/file_bytes.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/orientation.h"
#include "imaging/picture_kind.h"
#include "imaging/text_helpers.h"

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
