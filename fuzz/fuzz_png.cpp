// PNG intake (decoding and turning upright) and its metadata reading on
// arbitrary bytes, and its header-only size: a picture (or size) or
// TavrenError, nothing else.
#include <cstdint>
#include <cstdlib>

#include "picture_io/error.h"
#include "picture_io/png_decoder.h"
#include "picture_io/picture_files.h"
#include "picture_io/picture_kind.h"
#include "picture_io/picture_limits.h"

// A few bytes of these formats can declare a picture of hundreds of
// megapixels that the intake accepts and decodes; a low limit keeps the
// runs on the files' contents (and within the fuzzer's memory).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tavren::SetMaxPicturePixels(4 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  (void)tavren::ReadPngBlocks(data, size);
  try {
    (void)tavren::ReadPngSize(data, size, "fuzz");
  } catch (const tavren::TavrenError&) {
  }
  try {
    const tavren::Image image = tavren::LoadPictureMemory(tavren::kKindPng, data, size, "fuzz");
    if (image.ByteSize() != 3ull * image.Width() * image.Height()) std::abort();
  } catch (const tavren::TavrenError&) {
  }
  return 0;
}
