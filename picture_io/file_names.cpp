#include "picture_io/file_names.h"

#include <cctype>
#include <cstdint>

namespace tavren {

namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\' || c == ':';
#else
  return c == '/';
#endif
}

std::size_t NameStart(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i)
    if (IsSeparator(path[i - 1])) return i;
  return 0;
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool IsIntegerText(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == s.size()) return false;
  std::uint64_t value = 0;
  for (; i < s.size(); ++i) {
    const int digit = DigitValue(s[i]);
    if (digit < 0 || digit >= base) return false;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return false;
  }
  // Hexadecimal texts may name any 32-bit pattern; decimal ones must fit.
  if (base == 16) return true;
  return negative ? value <= 0x80000000ull : value <= 0x7FFFFFFFull;
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

}  // namespace tavren
