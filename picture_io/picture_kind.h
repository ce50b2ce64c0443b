// Which picture files the program reads: decided by the file's extension
// alone, compared without regard to letter case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavren {

inline constexpr int kKindJpeg = 0;
inline constexpr int kKindBmp = 1;
inline constexpr int kKindHeif = 2;
inline constexpr int kKindPng = 3;
inline constexpr int kKindTiff = 4;
inline constexpr int kKindWebp = 5;
inline constexpr int kKindAvif = 6;

// True when the lower-cased extension of path is one of kind's extensions:
// kind 0 (JPEG) ".jpg", ".jpeg", ".jfif", ".jpe"; kind 1 (BMP) ".bmp";
// kind 2 (HEIF) ".heic", ".heif", ".hif"; kind 3 (PNG) ".png"; kind 4 (TIFF)
// ".tif", ".tiff"; kind 5 (WebP) ".webp"; kind 6 (AVIF) ".avif", only when
// the installed libheif decodes AV1.  Any other kind gives false.
bool HasKind(const std::string& path, int kind);

// The extensions of kind, lower case with their dot, in the order above;
// empty for any other kind and for AVIF when it cannot be decoded.
const std::vector<std::string_view>& KindExtensions(int kind);

// The kind of path's extension, or -1 when the program does not open it.
int PictureKindOf(const std::string& path);

// True when path has the extension of a picture this program opens.
bool IsOpenablePicture(const std::string& path);

// The extensions of every kind, for messages: ".jpg, .jpeg, ...".
std::string OpenableExtensionsText();

}  // namespace tavren
