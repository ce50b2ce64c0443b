#include "picture_io/folder_pictures.h"

#include <filesystem>

#include "picture_io/picture_formats.h"
#include "system/file_names.h"

namespace tavren {

std::vector<std::string> PictureNamesInFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code ec;
  const fs::path where = folder.empty() ? fs::path(".") : fs::path(folder);
  for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (IsOpenablePicture(name)) names.push_back(std::move(name));
  }
  SortNamesForUser(names);
  return names;
}

}  // namespace tavren
