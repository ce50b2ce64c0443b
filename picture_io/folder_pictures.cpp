#include "picture_io/folder_pictures.h"

#include <filesystem>

#include "picture_io/picture_formats.h"
#include "system/file_names.h"

namespace tavren {

std::vector<std::string> PictureNamesInFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code ec;
  const fs::path where = PathOf(folder.empty() ? std::string(".") : folder);
  for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = TextOf(it->path().filename());
    if (IsOpenablePicture(name)) names.push_back(std::move(name));
  }
  SortNamesForUser(names);
  return names;
}

}  // namespace tavren
