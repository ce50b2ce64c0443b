// The file names offered and used when a picture is saved.
#pragma once

#include <string>

namespace tavren {

// name without its extension, then suffix, then the extension (from the last
// dot of the file name on): "IMG_0412.JPG" gives "IMG_0412copy.JPG".  A name
// without extension gets suffix appended.
std::string CopyFileName(const std::string& name, const std::string& suffix);

// path unchanged when its extension is ".jpg" in any letter case; otherwise
// path without its extension (if any), followed by ".jpg".
std::string ForceJpgExt(const std::string& path);

}  // namespace tavren
