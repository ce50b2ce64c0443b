#include "system/file_names.h"
#include "system/wide_text_win.h"

namespace tavren {

// The sort key of the locale-aware comparison that ignores letter case (as
// CompareStringEx compares with LINGUISTIC_IGNORECASE), one byte of the key
// to each character of the returned text.  Where the system makes no key,
// the name's UTF-16 stands in.
std::wstring NameCollationKey(const std::string& name) {
  const std::wstring wide = Wide(name);
  const DWORD flags = LCMAP_SORTKEY | LINGUISTIC_IGNORECASE;
  const int size = static_cast<int>(wide.size());
  const int length = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, wide.data(), size, nullptr, 0,
                                   nullptr, nullptr, 0);
  if (length <= 0) return wide;
  std::string key(static_cast<std::size_t>(length), '\0');
  LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, wide.data(), size,
                reinterpret_cast<LPWSTR>(key.data()), length, nullptr, nullptr, 0);
  std::wstring widened;
  for (char byte : key) {
    if (byte == '\0') break;  // the key's end
    widened.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
  }
  return widened;
}

bool IsPathSeparator(char c) { return c == '/' || c == '\\' || c == ':'; }

bool FileNamesIgnoreCase() { return true; }

const char* CurrentFolderPrefix() { return ".\\"; }

}  // namespace tavren
