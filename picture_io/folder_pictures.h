// The pictures of a folder in the order the user expects: names compared
// by the user's collation (the C library's, under LC_COLLATE and LC_CTYPE),
// letter case aside.  The window's PgUp and PgDn and the command line's
// folder arguments walk the same order.
#pragma once

#include <string>
#include <vector>

namespace tavren {

// Orders names without regard to letter case, as the user's language
// orders them ("é" beside "e").  Names that compare equal this way are both
// kept where the file system tells them apart, in the order of their bytes.
bool LessIgnoringCase(const std::string& a, const std::string& b);
bool EqualIgnoringCase(const std::string& a, const std::string& b);

// Sorts names by LessIgnoringCase (each name's collation key made once).
void SortNamesForUser(std::vector<std::string>& names);

// The names (without folder) of the entries directly in folder that have a
// picture extension, sorted.  Sub-folders with such a name are listed too:
// the listing is by name alone.  An unreadable folder gives no names.
std::vector<std::string> PictureNamesInFolder(const std::string& folder);

}  // namespace tavren
