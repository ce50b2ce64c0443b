// What every fuzzer of a picture format shares: a low picture limit, and
// the format's entry of the format table on arbitrary bytes: its metadata
// reader, the reach and sizes of what a saved copy reads, its header-only
// size and its intake give blocks, a size or a picture, or TavrenError,
// nothing else.  Included by the one source file of each such fuzzer.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "imaging/image.h"
#include "picture_io/byte_source.h"
#include "picture_io/picture_formats.h"
#include "picture_io/picture_limits.h"
#include "system/error.h"

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

// A decoded picture holds exactly its three bytes per pixel; touching each
// of them lets the sanitizers check that they are there.
inline void CheckDecoded(const tavren::Image& image) {
  if (image.ByteSize() != 3ull * image.Width() * image.Height()) std::abort();
  unsigned sum = 0;
  for (std::size_t i = 0; i < image.ByteSize(); ++i) sum += image.Data()[i];
  (void)sum;
}

// The entry of the format named formatName (nothing where the installed
// libraries do not read it).
inline void RunFormat(std::string_view formatName, const std::uint8_t* data, std::size_t size) {
  const tavren::TPictureFormat* format = tavren::FormatNamed(formatName);
  if (format == nullptr) return;
  const tavren::TMemoryByteSource source(data, size);
  (void)tavren::HasSignature(*format, data, size);
  if (format->ReadMetadata != nullptr) (void)format->ReadMetadata(source);
  // What a saved copy would read of the file for its metadata lies within it.
  if (format->MetadataReach != nullptr && format->MetadataReach(source).Extent > size) std::abort();
  if (format->MeasureMetadata != nullptr) (void)format->MeasureMetadata(data, size);
  try {
    (void)format->ReadSize(source, "fuzz");
  } catch (const tavren::TavrenError&) {
  }
  try {
    CheckDecoded(format->Decode(source, "fuzz", nullptr));
  } catch (const tavren::TavrenError&) {
  }
}

}  // namespace fuzz
