// Picture intake and the BMP writer: the one place that turns a file into a
// working image.  Every failure throws TavrenError naming the file.
#pragma once

#include <string>

#include "imaging/image.h"
#include "imaging/row_follower.h"
#include "picture_io/format_entry.h"

namespace tavren {

// Decodes the picture at path, upright, by the format of its extension
// (picture_formats.h).  A folder, an empty name or any other extension is
// refused with a reason saying so.  The file must be a regular file within
// the limits of picture_limits.h.  A follower sees the rows while they are
// decoded where the format shows them (see TPictureFormat::Decode).  When
// the file fails and its bytes are those of another format, the reason
// says which.
Image LoadPicture(const std::string& path, TRowFollower* follower = nullptr);

// The size LoadPicture's picture would have (upright), from the file's
// headers alone, with every check the headers allow.
TPictureSize ReadPictureSize(const std::string& path);

// The decoders' picture as stored, without regard to its orientation.
Image DecodeJpegFile(const std::string& path);
Image DecodeJpegMemory(const std::uint8_t* data, std::size_t size, const std::string& name);
Image DecodeBmpFile(const std::string& path);

// Writes image as a 24-bit BMP file; path holds either its old content or
// the whole new file, never a part of it.
void WriteBmpFile(const Image& image, const std::string& path);

}  // namespace tavren
