// The source's own metadata for a saved copy: its EXIF block (every
// directory), XMP packet and IPTC records, read and written with Exiv2 and
// brought up to date for the saved pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavren {

// What the saved copy is: its size and the software that made it.
struct TSavedPicture {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::string Software;
};

// The JPEG segments that carry sourceFileName's metadata into the saved
// copy, in file order: the EXIF APP1 segment (always), then an XMP APP1
// and an IPTC APP13 segment when the source has them.  In the copy the
// orientation is 1 (the pixels are saved upright), the thumbnail is gone
// (it shows the unprocessed picture), the pixel dimensions are the saved
// picture's and the software is saved.Software; make, model, dates,
// exposure and places are the source's.
// Throws TavrenError with the reason when the source's metadata cannot be
// read or does not fit a JPEG segment.
std::vector<std::uint8_t> KeptMetadataSegments(const std::string& sourceFileName,
                                               const TSavedPicture& saved);

}  // namespace tavren
