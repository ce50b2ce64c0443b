// What the fuzzers of the formats read through libraries (HEIF, PNG, TIFF,
// WebP) share: the intake on arbitrary bytes, its header-only size and its
// metadata reading give a picture (or a size, or blocks) or TavrenError,
// nothing else.  Included by the one source file of each such fuzzer.
#pragma once

#include <cstdint>

#include "picture_fuzzing.h"
#include "system/error.h"
#include "picture_io/picture_files.h"
#include "picture_io/picture_kind.h"

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
    fuzz::CheckDecoded(tavren::LoadPictureMemory(kind, data, size, "fuzz"));
  } catch (const tavren::TavrenError&) {
  }
}

}  // namespace fuzz
