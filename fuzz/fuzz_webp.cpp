// The WebP entry of the format table on arbitrary bytes (picture_fuzzing.h).
#include "picture_fuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::RunFormat("WebP", data, size);
  return 0;
}
