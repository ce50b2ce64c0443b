// The EXIF reader (as a JPEG file and as a bare TIFF block) and the colour
// profile reader on arbitrary bytes: they return, texts stay within their
// cap, the orientation within 0 to 8, and a profile is never larger than
// the bytes it was put together from.
#include <cstdint>
#include <cstdlib>

#include "picture_io/exif_reader.h"
#include "picture_io/jpeg_icc_profile.h"

namespace {

void CheckReading(const tavren::TExif& exif) {
  if (exif.Make.size() > tavren::TExif::kMaxTextBytes ||
      exif.Model.size() > tavren::TExif::kMaxTextBytes)
    std::abort();
  if (exif.Orientation < 0 || exif.Orientation > 8) std::abort();
  if (!exif.Valid && (!exif.Make.empty() || !exif.Model.empty() || exif.Orientation != 0))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tavren::TExif exif;
  exif.ReadFromMemory(data, size);
  CheckReading(exif);
  exif.ReadFromTiffBlock(data, size);
  CheckReading(exif);
  if (tavren::ReadJpegIccProfile(tavren::TMemoryByteSource(data, size)).size() > size) std::abort();
  return 0;
}
