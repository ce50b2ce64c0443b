#include "system/version_resource.h"

#include <cstring>
#include <vector>

#include <windows.h>

namespace tavren {

std::optional<TVersionResourceBlock> ReadVersionResource(const std::string& fileName) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(fileName.c_str(), &handle);
  if (size == 0) return std::nullopt;
  TVersionResourceBlock fixed{};
  std::vector<std::uint8_t> buffer(size);
  if (!GetFileVersionInfoA(fileName.c_str(), 0, size, buffer.data())) return fixed;
  void* block = nullptr;
  UINT length = 0;
  if (VerQueryValueA(buffer.data(), "\\", &block, &length) && block && length >= fixed.size())
    std::memcpy(fixed.data(), block, fixed.size());
  return fixed;
}

}  // namespace tavren
