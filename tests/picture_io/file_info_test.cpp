#include "picture_io/file_info.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/test_support.h"
#include "system/console.h"
#include "system/error.h"

namespace tavren {
namespace {

TEST(FileInfo, FormatsProductVersionNotFileVersion) {
  TFixedFileInfo info;
  info.FileVersionMS = (9u << 16) | 9u;
  info.ProductVersionMS = (0u << 16) | 9u;
  info.ProductVersionLS = (3u << 16) | 0u;
  EXPECT_EQ(FormatProductVersion(info), "0.9.3");
  info.ProductVersionMS = (1u << 16) | 2u;
  info.ProductVersionLS = (3u << 16) | 4u;
  EXPECT_EQ(FormatProductVersion(info), "1.2.3");
}

TEST(FileInfo, FindsTheBlockEmbeddedInAFile) {
  test::TempDir dir;
  const std::string path = dir.file("program");
  const auto block = EmbeddedVersionBlock();
  {
    std::ofstream out(path, std::ios::binary);
    // The signature alone, not followed by a block, must not be taken.
    const unsigned char decoy[] = {0xBD, 0x04, 0xEF, 0xFE, 1, 2, 3, 4};
    out.write(reinterpret_cast<const char*>(decoy), sizeof decoy);
    out << std::string(100, 'x');
    out.write(reinterpret_cast<const char*>(block.data()), block.size());
  }
  TFileInfo info(path);
  EXPECT_EQ(info.GetVersionText(), TAVREN_VERSION_TEXT);
}

TEST(FileInfo, OwnProgramCarriesTheProjectVersion) {
  TFileInfo info(RunningProgramPath());
  EXPECT_EQ(info.GetVersionText(), TAVREN_VERSION_TEXT);
}

TEST(FileInfo, NoBlockGivesEmptyTextAndMissingFileThrows) {
  test::TempDir dir;
  const std::string path = dir.file("plain");
  std::ofstream(path) << "no version here";
  TFileInfo info(path);
  EXPECT_EQ(info.GetVersionText(), "");
  EXPECT_THROW(TFileInfo(dir.file("missing")), TavrenError);
}

}  // namespace
}  // namespace tavren
