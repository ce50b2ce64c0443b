// What the fuzzers of the formats read through libraries (HEIF, PNG, TIFF,
// WebP) share: the intake on arbitrary bytes, its header-only size and its
// metadata reading give a picture (or a size, or blocks) or TavrenError,
// nothing else.  Included by the one source file of each such fuzzer.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "picture_io/error.h"
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

namespace fuzz {

template <typename ReadSize, typename ReadMetadata>
void RunLibraryFormat(int kind, const std::uint8_t* data, std::size_t size, ReadSize readSize,
                      ReadMetadata readMetadata) {
  (void)readMetadata(data, size);
  try {
    (void)readSize(data, size, "fuzz");
  } catch (const tavren::TavrenError&) {
  }
  try {
    const tavren::Image image = tavren::LoadPictureMemory(kind, data, size, "fuzz");
    if (image.ByteSize() != 3ull * image.Width() * image.Height()) std::abort();
  } catch (const tavren::TavrenError&) {
  }
}

}  // namespace fuzz
