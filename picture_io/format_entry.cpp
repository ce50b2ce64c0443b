#include "picture_io/format_entry.h"

#include <algorithm>
#include <cstring>

#include "picture_io/exif_reader.h"

namespace tavren {

bool HasSignature(const TPictureFormat& format, const std::uint8_t* data, std::size_t size) {
  const auto holds = [&](const TSignaturePart& part) {
    return part.Offset <= size && part.Bytes.size() <= size - part.Offset &&
           std::memcmp(data + part.Offset, part.Bytes.data(), part.Bytes.size()) == 0;
  };
  return std::any_of(format.Signatures.begin(), format.Signatures.end(),
                     [&](const std::vector<TSignaturePart>& parts) {
                       return std::all_of(parts.begin(), parts.end(), holds);
                     });
}

namespace {

// The bytes from the file's start that the format's signatures look at.
std::size_t SignatureExtent(const TPictureFormat& format) {
  std::size_t extent = 0;
  for (const std::vector<TSignaturePart>& parts : format.Signatures)
    for (const TSignaturePart& part : parts)
      extent = std::max(extent, part.Offset + part.Bytes.size());
  return extent;
}

}  // namespace

void RequireContentBeforeWholeRead(const TPictureFormat& format, const TByteSource& file,
                                   const std::string& name) {
  if (format.CheckHeader != nullptr || file.Size() <= kContentProbeBytes) return;
  // The signature alone first: a file of the format (the usual case, on
  // every open) costs a few bytes, not the probe's megabyte.
  std::vector<std::uint8_t> head(SignatureExtent(format));
  if (!file.Read(0, head.data(), head.size())) return;
  if (HasSignature(format, head.data(), head.size())) return;
  head.resize(kContentProbeBytes);
  if (!file.Read(0, head.data(), head.size())) return;
  format.ReadSize(TMemoryByteSource(head.data(), head.size()), name);
}

TPictureSize UprightSize(std::int32_t width, std::int32_t height, int orientation) {
  if (orientation >= 5) return {height, width};
  return {width, height};
}

TSourceMetadata MetadataFromBlocks(const TPictureBlocks& blocks) {
  TExif exif;
  exif.ReadFromTiffBlock(blocks.Exif.data(), blocks.Exif.size());
  return {exif.Make, exif.Model, blocks.IccProfile};
}

}  // namespace tavren
