// PNG intake, its header-only size and its metadata on arbitrary bytes.
#include "library_format.h"
#include "picture_io/png_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::RunLibraryFormat(tavren::kKindPng, data, size, tavren::ReadPngSize, tavren::ReadPngBlocks);
  return 0;
}
