#include "system/file_names.h"

namespace tavren {

bool IsPathSeparator(char c) { return c == '/'; }

bool FileNamesIgnoreCase() { return false; }

const char* CurrentFolderPrefix() { return "./"; }

}  // namespace tavren
