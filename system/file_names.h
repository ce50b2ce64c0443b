// File names: their parts, and the rules the system gives them (which
// characters separate folders, whether letter case tells names apart, the
// order in which the user expects a folder's names).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tavren {

// A path held as text (UTF-8, as the program holds every path) as the
// standard library's path, and back.  On Windows the library takes narrow
// text in the system's code page, not UTF-8, so no path goes through it as
// plain std::string.
std::filesystem::path PathOf(const std::string& text);
std::string TextOf(const std::filesystem::path& path);

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

// name in folder: "a" and "b.jpg" give "a/b.jpg" (a slash on Windows too,
// where it separates folders as well), "a/" gives "a/b.jpg", "" gives
// "b.jpg".
std::string JoinPath(const std::string& folder, const std::string& name);

// Letter case folded for ASCII letters only: every other byte, such as
// those of a UTF-8 name, stays as it is, whatever the locale.
char AsciiLower(char c);
std::string AsciiLower(std::string text);

// True for the characters that end a folder's name in a path ('/' here;
// '/', '\\' and ':' on Windows).
bool IsPathSeparator(char c);

// True where the file system takes names that differ in letter case only
// for the same file (Windows).
bool FileNamesIgnoreCase();

// True when a and b name the same file by their text: equal, or on a file
// system that ignores letter case, equal but for the case of ASCII letters.
bool SamePathText(const std::string& a, const std::string& b);

// The current folder as the start of a path ("./", ".\\" on Windows).
const char* CurrentFolderPrefix();

// The key by which the user's order sorts name: letter case aside, as the
// user's language orders names ("é" beside "e"); by the C library's
// collation under LC_COLLATE and LC_CTYPE here, by the system's
// locale-aware comparison on Windows.
std::wstring NameCollationKey(const std::string& name);

// Orders names by their keys (NameCollationKey).  Names that compare equal this way are both kept
// where the file system tells them apart, in the order of their bytes.
bool LessIgnoringCase(const std::string& a, const std::string& b);
bool EqualIgnoringCase(const std::string& a, const std::string& b);

// Sorts names by LessIgnoringCase (each name's collation key made once).
// Where the file system ignores letter case, names equal but for case are
// one file, listed once.
void SortNamesForUser(std::vector<std::string>& names);

}  // namespace tavren
