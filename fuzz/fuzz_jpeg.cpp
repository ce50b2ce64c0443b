// JPEG intake (decoding and turning upright) on arbitrary bytes: a picture
// or TavrenError, nothing else.
#include <cstdint>

#include "picture_fuzzing.h"
#include "system/error.h"
#include "picture_io/picture_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    fuzz::CheckDecoded(tavren::LoadJpegMemory(data, size, "fuzz.jpg"));
  } catch (const tavren::TavrenError&) {
  }
  return 0;
}
