// The pictures of a folder in the order the user expects (SortNamesForUser).
// The window's PgUp and PgDn and the command line's folder arguments walk
// the same order.
#pragma once

#include <string>
#include <vector>

namespace tavren {

// The names (without folder) of the entries directly in folder that have a
// picture extension, sorted.  Sub-folders with such a name are listed too:
// the listing is by name alone.  An unreadable folder gives no names.
std::vector<std::string> PictureNamesInFolder(const std::string& folder);

}  // namespace tavren
