#include "system/file_replace.h"

#include <span>

namespace tavren {

namespace {

bool AllDigits(const std::string& text) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

bool IsTemporaryFileName(const std::string& name, long& pid) {
  const std::string mark = kTemporaryNameMark;
  // "." + file name + mark, or the short form that starts with the mark.
  const std::size_t at = name.rfind(mark);
  if (at == std::string::npos || name[0] != '.' || (at != 0 && at < 2)) return false;
  const std::string tail = name.substr(at + mark.size());
  const std::size_t dash = tail.find('-');
  if (dash == std::string::npos) return false;
  const std::string process = tail.substr(0, dash);
  if (!AllDigits(process) || !AllDigits(tail.substr(dash + 1))) return false;
  pid = std::stol(process);
  return true;
}

void ReplaceFileContents(const std::string& requestedName, const std::uint8_t* data,
                         std::size_t size) {
  const std::span<const std::uint8_t> whole(data, size);
  ReplaceFileContents(requestedName, std::span(&whole, 1));
}

void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  ReplaceFileContents(path, bytes.data(), bytes.size());
}

}  // namespace tavren
