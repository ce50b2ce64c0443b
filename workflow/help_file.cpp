#include "workflow/help_file.h"

#include "picture_io/file_names.h"

namespace tavren {

const char* HelpFileName() {
#ifdef _WIN32
  return "BrisolmTavren Help.chm";
#else
  return "BrisolmTavren Help.html";
#endif
}

std::string HelpFilePath(const std::string& programPath) {
#ifdef _WIN32
  const char* const currentFolder = ".\\";
#else
  const char* const currentFolder = "./";
#endif
  std::string folder = FileFolder(programPath);  // keeps its trailing separator
  if (folder.empty()) folder = currentFolder;
  return folder + HelpFileName();
}

}  // namespace tavren
