#include <cwchar>
#include <cwctype>

#include "system/file_names.h"

namespace tavren {

namespace {

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

}  // namespace

// Comparing keys compares names as wcscoll does.  Where the library cannot
// transform a name, its folded characters stand in.
std::wstring NameCollationKey(const std::string& name) {
  const std::wstring folded = FoldedCharacters(name);
  const std::size_t length = std::wcsxfrm(nullptr, folded.c_str(), 0);
  if (length == static_cast<std::size_t>(-1) || length > 64 * (folded.size() + 1)) return folded;
  std::wstring key(length + 1, L'\0');
  key.resize(std::wcsxfrm(key.data(), folded.c_str(), key.size()));
  return key;
}

bool IsPathSeparator(char c) { return c == '/'; }

bool FileNamesIgnoreCase() { return false; }

const char* CurrentFolderPrefix() { return "./"; }

}  // namespace tavren
