// What every fuzzer of a picture decoder shares: a low picture limit and
// the check of what a decoder gives.  Included by the one source file of
// each such fuzzer.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "imaging/image.h"
#include "picture_io/picture_limits.h"

// A few bytes can declare a picture of hundreds of megapixels that the
// intake accepts and decodes; a low limit keeps the runs on the files'
// contents and within the fuzzer's memory (the guards against data too
// short for the picture work the same at any size, and the limit itself is
// tested on its own).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tavren::SetMaxPicturePixels(4 << 20);
  return 0;
}

namespace fuzz {

// A decoded picture holds exactly its three bytes per pixel.
inline void CheckDecoded(const tavren::Image& image) {
  if (image.ByteSize() != 3ull * image.Width() * image.Height()) std::abort();
}

}  // namespace fuzz
