// HEIF decoding through libheif: the primary picture of a HEIC or HEIF file,
// and of an AVIF file when the installed libheif decodes AV1.  The picture
// is turned, mirrored and cropped as the file asks (heif_transforms.h); an
// EXIF orientation inside the file is not applied, as the HEIF rules say.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "imaging/image.h"
#include "picture_io/format_entry.h"
#include "picture_io/picture_blocks.h"

namespace tavren {

// Decodes the primary picture of the HEIF file, upright, reading the file
// where its boxes and items lie (a tail behind them is not read).  name
// identifies the picture in errors.  Throws TavrenError for a picture that
// is truncated, damaged, unsupported or too large.
Image DecodeHeif(const TByteSource& file, const std::string& name, TRowFollower* follower);

// The primary picture's width and height as it is shown, from the file's
// structure alone.  Throws TavrenError as DecodeHeif.
TPictureSize ReadHeifSize(const TByteSource& file, const std::string& name);

// The primary picture's Exif block and its colour profile (of type prof or
// rICC).  Never throws: what cannot be read stays empty.
TPictureBlocks ReadHeifBlocks(const TByteSource& file);

// Make and model of that Exif block, and the profile: the format table's
// metadata reader.
TSourceMetadata ReadHeifMetadata(const TByteSource& file);

// The primary picture's Exif block and XMP packet, for a saved copy that
// keeps them.  Never throws: what cannot be read stays empty.
TPictureBlocks ReadHeifKeptBlocks(const TByteSource& file);

// True when the installed libheif can decode AV1, so that AVIF files open.
bool AvifDecodable();

}  // namespace tavren
