#include "workflow/help_file.h"

#include <filesystem>
#include <system_error>

#include "picture_io/file_names.h"

namespace tavren {

const char* HelpFileName() {
#ifdef _WIN32
  return "BrisolmTavren Help.chm";
#else
  return "BrisolmTavren Help.html";
#endif
}

namespace {

#ifndef _WIN32
bool IsFile(const std::string& path) {
  std::error_code error;  // an unreadable folder simply holds no page
  return std::filesystem::is_regular_file(path, error);
}

// The page in the data folder of a program installed in `programFolder`.
// The install rules give the data folder's place relative to the programs'
// folder (TAVREN_DATA_FROM_BIN), so a prefix chosen at install time works.
std::string InstalledHelpFilePath(const std::string& programFolder) {
  const std::filesystem::path page =
      std::filesystem::path(programFolder) / TAVREN_DATA_FROM_BIN / HelpFileName();
  return page.lexically_normal().string();
}
#endif

}  // namespace

std::string HelpFilePath(const std::string& programPath) {
#ifdef _WIN32
  const char* const currentFolder = ".\\";
#else
  const char* const currentFolder = "./";
#endif
  std::string folder = FileFolder(programPath);  // keeps its trailing separator
  if (folder.empty()) folder = currentFolder;
  const std::string beside = folder + HelpFileName();
#ifndef _WIN32
  if (!IsFile(beside)) {
    const std::string installed = InstalledHelpFilePath(folder);
    if (IsFile(installed)) return installed;
  }
#endif
  return beside;
}

}  // namespace tavren
