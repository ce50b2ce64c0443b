// Bounds every decoder checks before it asks for memory for a picture.
//
// A picture file is small and its picture may be huge: a few hundred bytes
// can declare a picture of gigabytes.  Every intake therefore refuses a
// picture above a limit on its pixels before decoding it.  The default
// opens every camera and phone photo; TAVREN_MAX_MEGAPIXELS (and the
// command line's --max-megapixels) raises or lowers it for one run.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "system/file_bytes.h"

namespace tavren {

// Pixel counts and histogram totals are 32-bit signed, and the sum histogram
// counts every pixel three times: no limit can go beyond this.
inline constexpr std::int64_t kLargestPicturePixels = std::numeric_limits<std::int32_t>::max() / 3;
inline constexpr std::int64_t kDefaultMaxPicturePixels = 200'000'000;
inline constexpr char kMaxMegapixelsVariable[] = "TAVREN_MAX_MEGAPIXELS";

// A limit in whole megapixels as the user writes it ("300"): 1 to the
// largest the program can hold (715); nothing for anything else.
std::optional<std::int64_t> ParseMegapixels(const std::string& text);

// The limit in force: the one set last, otherwise TAVREN_MAX_MEGAPIXELS when
// it holds a valid number, otherwise the default.
std::int64_t MaxPicturePixels();
// Sets the limit for the rest of the run (clamped to 1..kLargestPicturePixels).
void SetMaxPicturePixels(std::int64_t pixels);

// True when a width x height picture is within the limit.
bool PictureSizeAllowed(std::int64_t width, std::int64_t height);
// Throws TavrenError naming file, the size and the limit unless
// PictureSizeAllowed.
void RequirePictureSize(std::int64_t width, std::int64_t height, const std::string& file);

// The densest way a picture is stored: 32-bit samples (integer or floating
// point, as scanners write them) of four channels.  A format that declares
// more bits for each pixel is refused; what it declares would otherwise set
// the size of the buffers its library fills.
inline constexpr std::uint32_t kMostStoredBitsPerPixel = 128;

// The file of a picture within the limit is held to 64 bits for each pixel
// (16-bit samples of four channels, uncompressed) and room for metadata:
// a file is read whole before most formats can judge it, so its size is
// what a hostile file may cost.  Only a huge picture of 32-bit samples (a
// scanner's, above 100 megapixels at the default limit) is refused by it.
inline constexpr std::uint32_t kMostFileBitsPerPixel = 64;
std::uint64_t MaxPictureFileBytes();

// A picture file open for reading: a regular file (TInputFile) no larger
// than MaxPictureFileBytes, which is refused before a byte of it is read.
class TPictureFile : public TInputFile {
 public:
  explicit TPictureFile(const std::string& path);
};

// The bytes of the picture file at path, with the checks of TPictureFile.
std::vector<std::uint8_t> ReadPictureFileBytes(const std::string& path);

}  // namespace tavren
