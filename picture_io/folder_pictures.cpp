#include "picture_io/folder_pictures.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <filesystem>

#include "picture_io/picture_kind.h"

namespace tavren {

namespace {

#ifdef _WIN32
constexpr bool kFileNamesIgnoreCase = true;
#else
constexpr bool kFileNamesIgnoreCase = false;
#endif

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
  std::wstring key;
  std::string name;
};

bool KeyedLess(const TKeyedName& a, const TKeyedName& b) {
  if (a.key != b.key) return a.key < b.key;
  return !kFileNamesIgnoreCase && a.name < b.name;
}

}  // namespace

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
  if (kFileNamesIgnoreCase)
    keyed.erase(std::unique(keyed.begin(), keyed.end(),
                            [](const TKeyedName& a, const TKeyedName& b) { return a.key == b.key; }),
                keyed.end());
  names.clear();
  for (TKeyedName& entry : keyed) names.push_back(std::move(entry.name));
}

std::vector<std::string> PictureNamesInFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code ec;
  const fs::path where = folder.empty() ? fs::path(".") : fs::path(folder);
  for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (IsOpenablePicture(name)) names.push_back(std::move(name));
  }
  SortNamesForUser(names);
  return names;
}

}  // namespace tavren
