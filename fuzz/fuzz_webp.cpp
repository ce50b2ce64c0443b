// WebP intake (decoding and turning upright) and its metadata reading on
// arbitrary bytes: a picture or TavrenError, nothing else.
#include <cstdint>
#include <cstdlib>

#include "declared_size.h"
#include "picture_io/error.h"
#include "picture_io/webp_decoder.h"
#include "picture_io/picture_files.h"
#include "picture_io/picture_kind.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  (void)tavren::ReadWebpBlocks(data, size);
  if (fuzz::WebpPixels(data, size) > fuzz::kMaxFuzzPixels) return 0;
  try {
    const tavren::Image image = tavren::LoadPictureMemory(tavren::kKindWebp, data, size, "fuzz");
    if (image.ByteSize() != 3ull * image.Width() * image.Height()) std::abort();
  } catch (const tavren::TavrenError&) {
  }
  return 0;
}
