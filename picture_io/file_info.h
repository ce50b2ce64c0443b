// Version information of an executable: the program's product version as
// "major.minor.release".
//
// On Windows this is the file's version resource.  Elsewhere the build embeds
// the same 52-byte fixed-file-info block (thirteen little-endian 32-bit
// fields, signature FEEF04BD) in every program that links this library, and
// ReadVersionInfo finds that block among the file's bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tavren {

struct TFixedFileInfo {
  std::uint32_t Signature = 0;
  std::uint32_t StrucVersion = 0;
  std::uint32_t FileVersionMS = 0;
  std::uint32_t FileVersionLS = 0;
  std::uint32_t ProductVersionMS = 0;
  std::uint32_t ProductVersionLS = 0;
  std::uint32_t FileFlagsMask = 0;
  std::uint32_t FileFlags = 0;
  std::uint32_t FileOS = 0;
  std::uint32_t FileType = 0;
  std::uint32_t FileSubtype = 0;
  std::uint32_t FileDateMS = 0;
  std::uint32_t FileDateLS = 0;
};
static_assert(sizeof(TFixedFileInfo) == 52);

class TFileInfo {
 public:
  // Throws TavrenError when the file cannot be found.
  explicit TFileInfo(std::string fileName);

  // Reads the version block of fileName; false (and a zeroed record) when
  // the file has none or cannot be read.
  bool ReadVersionInfo(const std::string& fileName);
  // The product version of the file given at creation, read afresh; empty
  // when it has no version block.
  std::string GetVersionText();

  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
  TFixedFileInfo info_{};
};

// "%u.%u.%u" of the product version (the build number is not shown).
std::string FormatProductVersion(const TFixedFileInfo& info);

// The version block as this build embeds it (52 bytes).
std::array<std::uint8_t, 52> EmbeddedVersionBlock();

}  // namespace tavren
