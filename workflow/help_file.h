// Where the program's help page lives: next to the program itself, or, for
// an installed program, in its data folder.
#pragma once

#include <string>

namespace tavren {

// The name of the help page, an HTML page (on Windows too: it opens through
// the shell in the user's browser).
const char* HelpFileName();

// The help page of the program whose path is given.  The page beside the
// program comes first (a build tree, Windows); when there is none there, an
// installed program's data folder (<prefix>/share/brisolm-tavren/ for a
// program in <prefix>/bin/) is tried.  When neither holds the page, the path
// beside the program is given, so that the failure names the usual place.
// A bare program name (no folder) means the current folder, never the root
// of the file system.
std::string HelpFilePath(const std::string& programPath);

}  // namespace tavren
