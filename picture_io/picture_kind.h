// Which picture files the program reads: decided by the file's extension
// alone, compared without regard to letter case.
#pragma once

#include <string>

namespace tavren {

inline constexpr int kKindJpeg = 0;
inline constexpr int kKindBmp = 1;

// True when the lower-cased extension of path is one of kind's extensions:
// kind 0 (JPEG) ".jpg", ".jpeg", ".jfif", ".jpe"; kind 1 (BMP) ".bmp".  Any
// other kind gives false.
bool HasKind(const std::string& path, int kind);

// True when path has the extension of a picture this program opens.
bool IsOpenablePicture(const std::string& path);

// The extensions of every kind, for messages: ".jpg, .jpeg, ...".
std::string OpenableExtensionsText();

}  // namespace tavren
