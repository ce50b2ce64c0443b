// Picture intake and the BMP writer: the one place that turns a file into a
// working image.  Every failure throws TavrenError naming the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/image.h"
#include "imaging/row_follower.h"

namespace tavren {

// Decodes the picture at path, chosen by its extension (PictureKindOf): a
// JPEG, BMP, HEIF (or AVIF), PNG, TIFF or WebP file, upright.  A folder, an
// empty name or any other extension is refused with a reason saying so.
// The file must be a regular file within the limits of file_bytes.h and
// picture_limits.h.  A follower sees the rows of a JPEG picture that stands
// upright as stored while they are decoded (see DecodeJpeg); for others it
// is never started.
Image LoadPicture(const std::string& path, TRowFollower* follower = nullptr);

// The same for a file of the given kind held in memory.
Image LoadPictureMemory(int kind, const std::uint8_t* data, std::size_t size, const std::string& name);

// The size LoadPicture's picture would have (upright), from the file's
// headers alone, with every check the headers allow.
struct TPictureSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
};
TPictureSize ReadPictureSize(const std::string& path);

// The JPEG path of LoadPicture: decodes the file and turns and mirrors the
// picture as its EXIF orientation says, so that it stands upright.
Image LoadJpegPicture(const std::string& path, TRowFollower* follower = nullptr);
// The same for a JPEG file held in memory.
Image LoadJpegMemory(const std::uint8_t* data, std::size_t size, const std::string& name,
                     TRowFollower* follower = nullptr);

// The decoders: the picture as stored, without regard to its orientation.

Image DecodeJpegFile(const std::string& path);
Image DecodeJpegMemory(const std::uint8_t* data, std::size_t size, const std::string& name);

Image DecodeBmpFile(const std::string& path);
Image DecodeBmpMemory(const std::uint8_t* data, std::size_t size, const std::string& name);

// Writes image as a 24-bit BMP file; path holds either its old content or
// the whole new file, never a part of it.
void WriteBmpFile(const Image& image, const std::string& path);

}  // namespace tavren
