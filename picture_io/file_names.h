// Small text helpers for file names and numbers typed by the user.
#pragma once

#include <string>

namespace tavren {

// True when s is a 32-bit integer: optional sign, decimal digits or a
// hexadecimal number written with a leading '$' or "0x"; leading blanks are
// allowed.  Never throws.
bool IsIntegerText(const std::string& s);

// The file name of path without folder and extension ("a/b/photo.jpg" gives
// "photo").
std::string FileNameBase(const std::string& path);

// The file name of path without its folder.
std::string FileNameOf(const std::string& path);

// The extension of path's file name, dot included ("" when there is none).
std::string FileExt(const std::string& path);

// The extension without its dot, in upper case ("photo.jpg" gives "JPG").
std::string FileExtUpper(const std::string& path);

// The folder of path with its trailing separator ("" when there is none).
std::string FileFolder(const std::string& path);

}  // namespace tavren
