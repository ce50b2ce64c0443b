// The BMP decoder on arbitrary bytes: a picture or TavrenError, nothing else.
#include <cstdint>

#include "picture_fuzzing.h"
#include "system/error.h"
#include "picture_io/picture_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const tavren::Image image = tavren::DecodeBmpMemory(data, size, "fuzz.bmp");
    // A decoded picture is never larger than its header said and the file
    // could describe; touching every byte lets the sanitizers check it.
    unsigned sum = 0;
    for (std::size_t i = 0; i < image.ByteSize(); ++i) sum += image.Data()[i];
    (void)sum;
    fuzz::CheckDecoded(image);
  } catch (const tavren::TavrenError&) {
  }
  return 0;
}
