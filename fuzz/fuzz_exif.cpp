// The EXIF reader on arbitrary bytes: it returns, texts stay within their
// cap and the orientation within 0 to 8.
#include <cstdint>
#include <cstdlib>

#include "picture_io/exif_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tavren::TExif exif;
  exif.ReadFromMemory(data, size);
  if (exif.Make.size() > tavren::TExif::kMaxTextBytes || exif.Model.size() > tavren::TExif::kMaxTextBytes)
    std::abort();
  if (exif.Orientation < 0 || exif.Orientation > 8) std::abort();
  if (!exif.Valid && (!exif.Make.empty() || !exif.Model.empty() || exif.Orientation != 0)) std::abort();
  return 0;
}
