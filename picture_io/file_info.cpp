#include "picture_io/file_info.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "picture_io/byte_order.h"
#include "picture_io/error.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tavren {

namespace {

constexpr std::uint32_t kSignature = 0xFEEF04BDu;
constexpr std::uint32_t kStrucVersion = 0x00010000u;
constexpr std::uint32_t kVersionMS = (TAVREN_VERSION_MAJOR << 16) | TAVREN_VERSION_MINOR;
constexpr std::uint32_t kVersionLS = static_cast<std::uint32_t>(TAVREN_VERSION_PATCH) << 16;

}  // namespace

}  // namespace tavren

// The embedded block.  It is referenced by EmbeddedVersionBlock(), so every
// program that can ask for its version carries it; `used` keeps the
// optimiser from dropping it.
extern "C" __attribute__((used)) const std::uint32_t tavren_fixed_file_info[13] = {
    tavren::kSignature,
    tavren::kStrucVersion,
    tavren::kVersionMS,  // file version
    tavren::kVersionLS,
    tavren::kVersionMS,  // product version
    tavren::kVersionLS,
    0x3Fu,        // flags mask
    0u,           // flags
    0x00040004u,  // operating system: 32-bit Windows NT
    1u,           // file type: application
    0u,
    0u,
    0u,
};

namespace tavren {

namespace {

TFixedFileInfo ParseBlock(const std::uint8_t* p) {
  std::uint32_t fields[13];
  for (int i = 0; i < 13; ++i) fields[i] = ReadLittleEndian32(p + 4 * i);
  TFixedFileInfo info;
  std::memcpy(&info, fields, sizeof info);
  return info;
}

// A block is taken only where the signature is followed by the structure
// version and a plausible operating system and file type, so that the same
// four bytes met elsewhere in the program's code are not mistaken for it.
bool LooksLikeBlock(const TFixedFileInfo& info) {
  return info.Signature == kSignature && info.StrucVersion == kStrucVersion &&
         info.FileOS == 0x00040004u && info.FileType == 1u;
}

#ifndef _WIN32
bool FindEmbeddedBlock(const std::string& fileName, TFixedFileInfo& info) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  if (bytes.size() < sizeof(TFixedFileInfo)) return false;
  for (std::size_t i = 0; i + sizeof(TFixedFileInfo) <= bytes.size(); ++i) {
    if (bytes[i] != 0xBD || bytes[i + 1] != 0x04 || bytes[i + 2] != 0xEF || bytes[i + 3] != 0xFE)
      continue;
    const TFixedFileInfo candidate = ParseBlock(&bytes[i]);
    if (LooksLikeBlock(candidate)) {
      info = candidate;
      return true;
    }
  }
  return false;
}
#else
bool FindEmbeddedBlock(const std::string& fileName, TFixedFileInfo& info) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(fileName.c_str(), &handle);
  if (size == 0) return false;
  std::vector<std::uint8_t> buffer(size);
  if (!GetFileVersionInfoA(fileName.c_str(), 0, size, buffer.data())) return true;
  void* block = nullptr;
  UINT length = 0;
  if (VerQueryValueA(buffer.data(), "\\", &block, &length) && block && length >= 52)
    std::memcpy(&info, block, 52);
  return true;
}
#endif

}  // namespace

TFileInfo::TFileInfo(std::string fileName) : fileName_(std::move(fileName)) {
  struct stat status {};
  if (::stat(fileName_.c_str(), &status) != 0)
    throw TavrenError(fileName_, std::strerror(errno));
}

bool TFileInfo::ReadVersionInfo(const std::string& fileName) {
  info_ = TFixedFileInfo{};
  return FindEmbeddedBlock(fileName, info_);
}

std::string TFileInfo::GetVersionText() {
  if (!ReadVersionInfo(fileName_)) return std::string();
  return FormatProductVersion(info_);
}

std::string FormatProductVersion(const TFixedFileInfo& info) {
  char text[40];
  std::snprintf(text, sizeof text, "%u.%u.%u", info.ProductVersionMS >> 16,
                info.ProductVersionMS & 0xFFFFu, info.ProductVersionLS >> 16);
  return text;
}

std::array<std::uint8_t, 52> EmbeddedVersionBlock() {
  std::array<std::uint8_t, 52> block{};
  std::memcpy(block.data(), tavren_fixed_file_info, block.size());
  return block;
}

}  // namespace tavren
