// Saves a picture as a progressive JPEG file of the best quality that
// carries the camera make and model and the colour profile over from the
// file it came from, and on request the rest of its metadata.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/image.h"

namespace tavren {

// The texts written into every saved file.  The banner names the maker and
// its photo tools with the maker's home page, the address the program's
// links lead to.
inline constexpr char kJpegBanner[] =
    "Brisolm Imaging: Lumora & Clarivex photo tools https://www.brisolm-imaging.example/";
inline constexpr char kExifSoftware[] = "Brisolm Tavren: Lumora and Clarivex engine";

// What a saved copy takes over from its source besides the pixels.
enum class TMetadataCarryOver {
  // Make and model in the program's fixed EXIF segment, and the colour
  // profile; dates, exposure data, places, XMP and IPTC stay behind.
  MakeAndModel,
  // Also the source's whole EXIF block, XMP packet and IPTC records
  // (KeptMetadataSegments), in place of the fixed EXIF segment.
  Everything,
};

struct TJpegSaveReport {
  // With TMetadataCarryOver::Everything: why the source's metadata could
  // not be kept, so that the file was saved with make and model only.
  // Empty when nothing went wrong.
  std::string MetadataNotKept;
};

// Writes image to fileName: the encoder's start-of-image and JFIF header,
// a comment segment with kJpegBanner, an EXIF segment with the make and model
// of sourceFileName (ReadSourceMetadata; nothing when sourceFileName is
// empty or names no file) and kExifSoftware, then the rest of the encoded
// picture, which holds the source's RGB colour profile when it has one.
// An existing fileName, even sourceFileName itself, is replaced only by a
// complete new file.  Throws TavrenError when encoding or writing fails;
// nothing in the source file can make it fail.
TJpegSaveReport SaveJpegWithExif(const Image& image, const std::string& fileName,
                                 const std::string& sourceFileName,
                                 TMetadataCarryOver carryOver = TMetadataCarryOver::MakeAndModel);

// The saved file's bytes for an encoded picture and the given texts.
std::vector<std::uint8_t> BuildJpegWithExif(const std::vector<std::uint8_t>& encoded,
                                            const std::string& make, const std::string& model);

}  // namespace tavren
