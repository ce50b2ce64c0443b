#include "picture_io/picture_kind.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "picture_io/file_names.h"

namespace tavren {

namespace {

constexpr std::array<std::string_view, 4> kJpegExtensions = {".jpg", ".jpeg", ".jfif", ".jpe"};
constexpr std::array<std::string_view, 1> kBmpExtensions = {".bmp"};

template <std::size_t N>
bool Listed(const std::array<std::string_view, N>& list, const std::string& ext) {
  return std::find(list.begin(), list.end(), ext) != list.end();
}

}  // namespace

bool HasKind(const std::string& path, int kind) {
  const std::string ext = AsciiLower(FileExt(path));
  switch (kind) {
    case kKindJpeg: return Listed(kJpegExtensions, ext);
    case kKindBmp: return Listed(kBmpExtensions, ext);
    default: return false;
  }
}

std::string OpenableExtensionsText() {
  std::string text;
  auto add = [&](std::string_view ext) {
    if (!text.empty()) text += ", ";
    text += ext;
  };
  for (std::string_view ext : kJpegExtensions) add(ext);
  for (std::string_view ext : kBmpExtensions) add(ext);
  return text;
}

bool IsOpenablePicture(const std::string& path) {
  return HasKind(path, kKindJpeg) || HasKind(path, kKindBmp);
}

}  // namespace tavren
