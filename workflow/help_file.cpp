#include "workflow/help_file.h"

#include <filesystem>
#include <system_error>

#include "system/file_names.h"

namespace tavren {

const char* HelpFileName() { return "BrisolmTavren Help.html"; }

namespace {

bool IsFile(const std::string& path) {
  std::error_code error;  // an unreadable folder simply holds no page
  return std::filesystem::is_regular_file(PathOf(path), error);
}

// The page in the data folder of a program installed in `programFolder`.
// The install rules give the data folder's place relative to the programs'
// folder (TAVREN_DATA_FROM_BIN), so a prefix chosen at install time works.
std::string InstalledHelpFilePath(const std::string& programFolder) {
  const std::filesystem::path page = PathOf(programFolder) / TAVREN_DATA_FROM_BIN / HelpFileName();
  return TextOf(page.lexically_normal());
}

}  // namespace

std::string HelpFilePath(const std::string& programPath) {
  std::string folder = FileFolder(programPath);  // keeps its trailing separator
  if (folder.empty()) folder = CurrentFolderPrefix();
  const std::string beside = folder + HelpFileName();
  if (!IsFile(beside)) {
    const std::string installed = InstalledHelpFilePath(folder);
    if (IsFile(installed)) return installed;
  }
  return beside;
}

}  // namespace tavren
