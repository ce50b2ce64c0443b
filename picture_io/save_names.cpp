#include "picture_io/save_names.h"

#include "system/file_names.h"

namespace tavren {

namespace {

std::string WithoutExt(const std::string& path) {
  return path.substr(0, path.size() - FileExt(path).size());
}

}  // namespace

std::string CopyFileName(const std::string& name, const std::string& suffix) {
  return WithoutExt(name) + suffix + FileExt(name);
}

std::string ForceJpgExt(const std::string& path) {
  if (AsciiLower(FileExt(path)) == ".jpg") return path;
  return WithoutExt(path) + ".jpg";
}

}  // namespace tavren
