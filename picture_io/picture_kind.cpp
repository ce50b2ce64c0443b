#include "picture_io/picture_kind.h"

#include <algorithm>

#include "system/file_names.h"
#include "picture_io/heif_decoder.h"

namespace tavren {

using Extensions = std::vector<std::string_view>;

const Extensions& KindExtensions(int kind) {
  static const Extensions kNone;
  static const Extensions kLists[] = {
      {".jpg", ".jpeg", ".jfif", ".jpe"}, {".bmp"}, {".heic", ".heif", ".hif"}, {".png"},
      {".tif", ".tiff"},                  {".webp"}, {".avif"}};
  if (kind < kKindJpeg || kind > kKindAvif) return kNone;
  if (kind == kKindAvif && !AvifDecodable()) return kNone;
  return kLists[kind];
}

bool HasKind(const std::string& path, int kind) {
  const Extensions& list = KindExtensions(kind);
  return std::find(list.begin(), list.end(), AsciiLower(FileExt(path))) != list.end();
}

int PictureKindOf(const std::string& path) {
  for (int kind = kKindJpeg; kind <= kKindAvif; ++kind)
    if (HasKind(path, kind)) return kind;
  return -1;
}

std::string OpenableExtensionsText() {
  std::string text;
  for (int kind = kKindJpeg; kind <= kKindAvif; ++kind)
    for (std::string_view ext : KindExtensions(kind)) {
      if (!text.empty()) text += ", ";
      text += ext;
    }
  return text;
}

bool IsOpenablePicture(const std::string& path) { return PictureKindOf(path) >= 0; }

}  // namespace tavren
