// Small text helpers for file names.
#pragma once

#include <string>

namespace tavren {

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

// Letter case folded for ASCII letters only: every other byte, such as
// those of a UTF-8 name, stays as it is, whatever the locale.
char AsciiLower(char c);
std::string AsciiLower(std::string text);

}  // namespace tavren
