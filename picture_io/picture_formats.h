// The picture formats the program reads, one entry each (format_entry.h
// says what an entry holds).  A file is taken for a picture of a format by
// its extension alone, compared without regard to letter case; opening,
// the size and metadata readers, the dialogs, drag-and-drop, folder
// listings and the fuzzers all read this table.  A new format is one entry
// here and one decoder file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "picture_io/format_entry.h"

namespace tavren {

// The formats the installed libraries read, in the order the program names
// them: JPEG, BMP, HEIF, PNG, TIFF, WebP, and AVIF where libheif decodes it.
const std::vector<TPictureFormat>& PictureFormats();

// The format of path's extension; null when the program does not open it.
const TPictureFormat* FormatOfPath(const std::string& path);

// The format of that name; null when there is none.
const TPictureFormat* FormatNamed(std::string_view name);

// The format a picture saved as path is written in (its SaveExtensions);
// null when no format is written under path's extension.
const TPictureFormat* FormatSavedAs(const std::string& path);

// The format whose signature the bytes begin with; null when none.
const TPictureFormat* FormatOfContent(const std::uint8_t* data, std::size_t size);

// True when path has an extension of the format at place kind of
// PictureFormats() (0 JPEG, 1 BMP, then the others in their order); false
// for any other kind.
bool HasKind(const std::string& path, int kind);

// True when path has the extension of a picture this program opens.
bool IsOpenablePicture(const std::string& path);

// The extensions of every format, for messages: ".jpg, .jpeg, ...".
std::string OpenableExtensionsText();

}  // namespace tavren
