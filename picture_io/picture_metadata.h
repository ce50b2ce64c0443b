// What a saved copy takes over from the picture file it came from, besides
// the pixels (TSourceMetadata).  Read from the source file at the time of
// saving, like every other part of the file's metadata.
#pragma once

#include <string>

#include "picture_io/format_entry.h"

namespace tavren {

// The metadata of the picture file at path, read as its format's entry in
// the format table reads it.  Never throws for what the file holds: a part
// that is missing, broken or unreadable is empty; a missing file gives
// everything empty.
TSourceMetadata ReadSourceMetadata(const std::string& path);

}  // namespace tavren
