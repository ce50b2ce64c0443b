// Where the program's help page lives: next to the program itself.
#pragma once

#include <string>

namespace tavren {

// The name of the help page in the program's folder: the compiled help file
// on Windows, an HTML page elsewhere.
const char* HelpFileName();

// The help page beside the program whose path is given.  A bare program name
// (no folder) means the current folder, never the root of the file system.
std::string HelpFilePath(const std::string& programPath);

}  // namespace tavren
