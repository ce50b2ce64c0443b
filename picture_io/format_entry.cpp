#include "picture_io/format_entry.h"

#include "picture_io/exif_reader.h"

namespace tavren {

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
