#include <cstring>
#include <vector>

#include "system/version_resource.h"
#include "system/wide_text_win.h"

namespace tavren {

std::optional<TVersionResourceBlock> ReadVersionResource(const std::string& fileName) {
  const std::wstring name = Wide(fileName);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &handle);
  if (size == 0) return std::nullopt;
  TVersionResourceBlock fixed{};
  std::vector<std::uint8_t> buffer(size);
  if (!GetFileVersionInfoW(name.c_str(), 0, size, buffer.data())) return fixed;
  void* block = nullptr;
  UINT length = 0;
  if (VerQueryValueW(buffer.data(), L"\\", &block, &length) && block && length >= fixed.size())
    std::memcpy(fixed.data(), block, fixed.size());
  return fixed;
}

}  // namespace tavren
