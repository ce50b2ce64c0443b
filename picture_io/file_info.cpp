#include "picture_io/file_info.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <vector>

#include "picture_io/byte_order.h"
#include "system/error.h"
#include "system/file_bytes.h"
#include "system/file_names.h"
#include "system/version_resource.h"

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

bool FindEmbeddedBlock(const std::string& fileName, TFixedFileInfo& info) {
  std::vector<std::uint8_t> bytes;
  try {
    bytes = ReadFileBytes(fileName);  // one read: the program file is megabytes
  } catch (const TavrenError&) {
    return false;
  }
  static constexpr std::uint8_t kSignatureBytes[4] = {0xBD, 0x04, 0xEF, 0xFE};
  const auto end = bytes.end();
  for (auto at = std::search(bytes.begin(), end, std::begin(kSignatureBytes),
                             std::end(kSignatureBytes));
       at != end; at = std::search(at + 1, end, std::begin(kSignatureBytes),
                                   std::end(kSignatureBytes))) {
    if (static_cast<std::size_t>(end - at) < sizeof(TFixedFileInfo)) return false;
    const TFixedFileInfo candidate = ParseBlock(&*at);
    if (LooksLikeBlock(candidate)) {
      info = candidate;
      return true;
    }
  }
  return false;
}

// The version resource where the system has one, otherwise the block the
// program embeds.
bool FindVersionBlock(const std::string& fileName, TFixedFileInfo& info) {
  if (const std::optional<TVersionResourceBlock> resource = ReadVersionResource(fileName)) {
    info = ParseBlock(resource->data());
    return true;
  }
  return FindEmbeddedBlock(fileName, info);
}

}  // namespace

TFileInfo::TFileInfo(std::string fileName) : fileName_(std::move(fileName)) {
  std::error_code error;
  (void)std::filesystem::status(PathOf(fileName_), error);
  if (error) throw TavrenError(fileName_, error.message());
}

bool TFileInfo::ReadVersionInfo(const std::string& fileName) {
  info_ = TFixedFileInfo{};
  return FindVersionBlock(fileName, info_);
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
