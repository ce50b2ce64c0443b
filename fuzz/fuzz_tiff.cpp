// TIFF intake, its header-only size and its metadata on arbitrary bytes.
#include "library_format.h"
#include "picture_io/tiff_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::RunLibraryFormat(tavren::kKindTiff, data, size, tavren::ReadTiffSize, tavren::ReadTiffIccProfile);
  return 0;
}
