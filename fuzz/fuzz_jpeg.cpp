// JPEG intake (decoding and turning upright) on arbitrary bytes: a picture
// or TavrenError, nothing else.
#include <cstdint>
#include <cstdlib>

#include "picture_io/error.h"
#include "picture_io/picture_files.h"
#include "picture_io/picture_limits.h"

// A few bytes can declare a picture of hundreds of megapixels that the
// intake accepts and decodes; a low limit keeps the runs on the files'
// contents (the guards against data too short for the picture work the same
// at any size, and the limit itself is tested on its own).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tavren::SetMaxPicturePixels(4 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const tavren::Image image = tavren::LoadJpegMemory(data, size, "fuzz.jpg");
    if (image.ByteSize() != 3ull * image.Width() * image.Height()) std::abort();
  } catch (const tavren::TavrenError&) {
  }
  return 0;
}
