// JPEG intake (decoding and turning upright) on arbitrary bytes: a picture
// or TavrenError, nothing else.
#include <cstdint>
#include <cstdlib>

#include "picture_io/error.h"
#include "picture_io/picture_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const tavren::Image image = tavren::LoadJpegMemory(data, size, "fuzz.jpg");
    if (image.ByteSize() != 3ull * image.Width() * image.Height()) std::abort();
  } catch (const tavren::TavrenError&) {
  }
  return 0;
}
