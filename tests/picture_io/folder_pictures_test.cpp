#include "picture_io/folder_pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/test_support.h"

namespace tavren {
namespace {

namespace fs = std::filesystem;

// A user's UTF-8 locale, compiled for the test when the system has none
// installed; the C locale is put back afterwards.
class UserLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::setlocale(LC_ALL, "en_US.UTF-8") != nullptr) return;
    const std::string command =
        "localedef -i en_US -f UTF-8 '" + compiled_.file("en_US.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) {
      ::setenv("LOCPATH", compiled_.path().c_str(), 1);
      if (std::setlocale(LC_ALL, "en_US.UTF-8") != nullptr) return;
    }
    GTEST_SKIP() << "no en_US.UTF-8 locale (the locales package brings its source)";
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
  }
  test::TempDir compiled_;
};

// Accented names stand beside their plain letters, punctuation does not
// split the alphabet, letter case is set aside but names equal but for case
// are both listed; a name that is not UTF-8 still has its place.
TEST_F(UserLocale, PicturesInTheUsersOrder) {
  test::TempDir dir;
  const std::vector<std::string> expected = {"1.jpg",
                                             "apple.JPG",
                                             "_draft.jpg",
                                             "\xC3\x89"
                                             "clair.jpg",
                                             "ecole.bmp",
                                             "Photo.jpg",
                                             "photo.jpg",
                                             "zebra.jpg"};
  for (auto name = expected.rbegin(); name != expected.rend(); ++name)
    std::ofstream(dir.file(*name)) << "x";
  std::ofstream(dir.file("notes.txt")) << "x";
  std::ofstream(dir.file("\xFF.jpg")) << "x";
  std::vector<std::string> names = PictureNamesInFolder(dir.path().string() + "/");
  const auto notUtf8 = std::find(names.begin(), names.end(), "\xFF.jpg");
  ASSERT_NE(notUtf8, names.end());
  names.erase(notUtf8);
  EXPECT_EQ(names, expected);
}

}  // namespace
}  // namespace tavren
