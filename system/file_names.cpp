#include "system/file_names.h"

#include <algorithm>
#include <cctype>
#include <cwchar>
#include <cwctype>

namespace tavren {

namespace {

std::size_t NameStart(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i)
    if (IsPathSeparator(path[i - 1])) return i;
  return 0;
}

// A byte that is not part of a character of the user's encoding keeps a
// place of its own, so that every name has a key and the order stays total.
constexpr wchar_t kUndecodableByteBase = 0xDC00;

// name's characters in lower case, decoded by the user's encoding.
std::wstring FoldedCharacters(const std::string& name) {
  std::wstring text;
  std::mbstate_t state{};
  for (std::size_t i = 0; i < name.size();) {
    wchar_t c = 0;
    const std::size_t used = std::mbrtowc(&c, name.data() + i, name.size() - i, &state);
    if (used == 0 || used > name.size() - i) {  // an invalid or cut sequence
      c = static_cast<wchar_t>(kUndecodableByteBase + static_cast<unsigned char>(name[i]));
      state = std::mbstate_t{};
      i += 1;
    } else {
      i += used;
    }
    text.push_back(static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))));
  }
  return text;
}

// The collation key of name: comparing keys compares names as wcscoll does.
// Where the library cannot transform a name, its folded characters stand in.
std::wstring CollationKey(const std::string& name) {
  const std::wstring folded = FoldedCharacters(name);
  const std::size_t length = std::wcsxfrm(nullptr, folded.c_str(), 0);
  if (length == static_cast<std::size_t>(-1) || length > 64 * (folded.size() + 1)) return folded;
  std::wstring key(length + 1, L'\0');
  key.resize(std::wcsxfrm(key.data(), folded.c_str(), key.size()));
  return key;
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
  return KeyedLess({CollationKey(a), a}, {CollationKey(b), b});
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return CollationKey(a) == CollationKey(b);
}

void SortNamesForUser(std::vector<std::string>& names) {
  std::vector<TKeyedName> keyed;
  keyed.reserve(names.size());
  for (std::string& name : names) keyed.push_back({CollationKey(name), std::move(name)});
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
