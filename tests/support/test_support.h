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
Image RandomImage(std::int32_t width, std::int32_t height, std::uint32_t seed);

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

// Skips the current test when the photo corpus is not present.
#define TAVREN_REQUIRE_CORPUS()                                   \
  do {                                                            \
    if (::tavren::test::CorpusDir().empty())                      \
      GTEST_SKIP() << "photo corpus not present";                 \
  } while (0)
