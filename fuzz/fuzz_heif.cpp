// HEIF intake, its header-only size and its metadata on arbitrary bytes.
#include "library_format.h"
#include "picture_io/heif_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::RunLibraryFormat(tavren::kKindHeif, data, size, tavren::ReadHeifSize, tavren::ReadHeifBlocks);
  return 0;
}
