// Shared helpers of the test programs: where the test pictures are, and
// small generated pictures.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/image.h"

namespace tavren::test {

// tests/data of the source tree.
std::filesystem::path TestDataDir();
std::string TestDataPath(const std::string& name);

// The shared photo corpus, or an empty path when it is not there.
std::filesystem::path CorpusDir();
// Every JPEG of the corpus (relative paths sorted), empty when absent.
std::vector<std::filesystem::path> CorpusPhotos();

// A picture of the given size filled by a fixed pseudo-random sequence.
// The largest resident size of the process so far, in KiB, measured where
// the system keeps it (0 on Windows, where checks of the peak are left out).
long PeakResidentKiB();

Image RandomImage(std::int32_t width, std::int32_t height, std::uint32_t seed);

// word quoted for the shell.
std::string ShellQuoted(const std::string& word);
// Runs a shell command with its output discarded; true when it exits 0.
bool RunQuietly(const std::string& command);
// True when program is found on the PATH.
bool HaveTool(const std::string& program);

// Writes the picture file source (any the tool reads) as target, in the
// format that target's extension names, as users make such files:
// HEIC/HEIF/AVIF through heif-enc, WebP losslessly through cwebp, every
// other format through ImageMagick's convert.  options go to the tool.
// False when the tool failed.
bool MakePicture(const std::string& source, const std::string& target,
                 const std::string& options = "");

// A fresh, empty folder below the system's temporary folder, removed when
// the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace tavren::test

// Skips the current test when a program that makes its sample files is
// missing (scripts/deps.sh test installs them all).
#define TAVREN_REQUIRE_TOOL(program)                                                     \
  do {                                                                                   \
    if (!::tavren::test::HaveTool(program)) GTEST_SKIP() << program << " not installed"; \
  } while (0)

// Skips the current test unless every tool MakePicture uses is there.
#define TAVREN_REQUIRE_PICTURE_TOOLS() \
  do {                                 \
    TAVREN_REQUIRE_TOOL("convert");    \
    TAVREN_REQUIRE_TOOL("heif-enc");   \
    TAVREN_REQUIRE_TOOL("cwebp");      \
  } while (0)

// Skips the current test when the photo corpus is not present.
#define TAVREN_REQUIRE_CORPUS()                                                          \
  do {                                                                                   \
    if (::tavren::test::CorpusDir().empty()) GTEST_SKIP() << "photo corpus not present"; \
  } while (0)
