#include "picture_io/save_names.h"

#include "picture_io/file_names.h"

namespace tavren {

namespace {

// Only ASCII letters change: names are compared byte for byte otherwise.
std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

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
