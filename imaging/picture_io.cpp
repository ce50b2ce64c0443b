#include "imaging/picture_io.h"

#include <vector>

#include "imaging/bmp_codec.h"
#include "imaging/error.h"
#include "imaging/file_bytes.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/picture_kind.h"
#include "imaging/text_helpers.h"

namespace tavren {

Image LoadPicture(const std::string& path) {
  if (HasKind(path, kKindJpeg)) return LoadJpegPicture(path);
  if (HasKind(path, kKindBmp)) return DecodeBmpFile(path);
  throw TavrenError(path, "Format " + FileExtUpper(path) + " not supported.");
}

Image LoadJpegPicture(const std::string& path) { return DecodeJpegFile(path); }

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
