#include "system/file_names.h"

#include <algorithm>
#include <cctype>

namespace tavren {

namespace {

std::size_t NameStart(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i)
    if (IsPathSeparator(path[i - 1])) return i;
  return 0;
}

struct TKeyedName {
  std::wstring Key;
  std::string Name;
};

bool KeyedLess(const TKeyedName& a, const TKeyedName& b) {
  if (a.Key != b.Key) return a.Key < b.Key;
  return !FileNamesIgnoreCase() && a.Name < b.Name;
}

}  // namespace

std::filesystem::path PathOf(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string TextOf(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string FileNameOf(const std::string& path) { return path.substr(NameStart(path)); }

std::string FileExt(const std::string& path) {
  const std::string name = FileNameOf(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string FileNameBase(const std::string& path) {
  const std::string name = FileNameOf(path);
  return name.substr(0, name.size() - FileExt(name).size());
}

std::string FileExtUpper(const std::string& path) {
  std::string ext = FileExt(path);
  if (!ext.empty()) ext.erase(0, 1);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

std::string FileFolder(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return IsPathSeparator(folder.back()) ? folder + name : folder + "/" + name;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string AsciiLower(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

bool SamePathText(const std::string& a, const std::string& b) {
  if (!FileNamesIgnoreCase()) return a == b;
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return KeyedLess({NameCollationKey(a), a}, {NameCollationKey(b), b});
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return NameCollationKey(a) == NameCollationKey(b);
}

void SortNamesForUser(std::vector<std::string>& names) {
  std::vector<TKeyedName> keyed;
  keyed.reserve(names.size());
  for (std::string& name : names) keyed.push_back({NameCollationKey(name), std::move(name)});
  std::sort(keyed.begin(), keyed.end(), KeyedLess);
  // Where the file system ignores letter case, two names equal but for case
  // are one file; list it once.
  if (FileNamesIgnoreCase())
    keyed.erase(
        std::unique(keyed.begin(), keyed.end(),
                    [](const TKeyedName& a, const TKeyedName& b) { return a.Key == b.Key; }),
        keyed.end());
  names.clear();
  for (TKeyedName& entry : keyed) names.push_back(std::move(entry.Name));
}

}  // namespace tavren
