#include "workflow/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"
#include "system/file_names.h"
#include "workflow/fixed_texts.h"

namespace tavren {
namespace {

namespace fs = std::filesystem;

void Touch(const test::TempDir& dir, const std::string& name) {
  std::ofstream(dir.file(name)) << "x";
}

TEST(Files, StepsThroughSupportedFilesWithoutWrapping) {
  DecodeFixedTexts();
  test::TempDir dir;
  for (const char* name : {"1.jpg", "2.JPG", "3.bmp", "x.gif"}) Touch(dir, name);
  TFiles files;
  files.CurrentFile = dir.file("1.jpg");
  EXPECT_TRUE(files.Step(true));
  EXPECT_EQ(files.CurrentFile, dir.file("2.JPG"));
  EXPECT_TRUE(files.Step(true));
  EXPECT_EQ(files.CurrentFile, dir.file("3.bmp"));
  EXPECT_FALSE(files.Step(true));
  EXPECT_EQ(files.CurrentFile, dir.file("3.bmp"));
  EXPECT_TRUE(files.Step(false));
  EXPECT_TRUE(files.Step(false));
  EXPECT_EQ(files.CurrentFile, dir.file("1.jpg"));
  EXPECT_FALSE(files.Step(false));
  ASSERT_TRUE(files.Names.has_value());
  EXPECT_EQ(files.Names->size(), 3u);

  // A bare name (the program started in the picture's folder) steps too.
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  TFiles bare;
  bare.CurrentFile = "1.jpg";
  const bool stepped = bare.Step(true);
  fs::current_path(before);
  EXPECT_TRUE(stepped);
  EXPECT_EQ(bare.CurrentFile, "2.JPG");
}

TEST(Files, NeighboursAreWhereAStepWouldGoWithoutListing) {
  DecodeFixedTexts();
  test::TempDir dir;
  for (const char* name : {"1.jpg", "2.jpg", "3.jpg"}) Touch(dir, name);
  TFiles files;
  EXPECT_TRUE(files.Neighbours().empty());
  files.CurrentFile = dir.file("1.jpg");
  EXPECT_EQ(files.Neighbours(), (std::vector<std::string>{dir.file("2.jpg")}));
  EXPECT_FALSE(files.Names.has_value());  // the first step lists the folder
  ASSERT_TRUE(files.Step(true));
  EXPECT_EQ(files.Neighbours(), (std::vector<std::string>{dir.file("3.jpg"), dir.file("1.jpg")}));
  ASSERT_TRUE(files.Step(true));
  ASSERT_TRUE(files.Step(false));  // after a step back, the previous one first
  EXPECT_EQ(files.Neighbours(), (std::vector<std::string>{dir.file("1.jpg"), dir.file("3.jpg")}));
  files.CurrentFile = sPastedImageName;
  EXPECT_TRUE(files.Neighbours().empty());
}

TEST(Files, SortIgnoresCaseAndListsFoldersToo) {
  test::TempDir dir;
  for (const char* name : {"c.jpg", "B.jpg", "a.jpg"}) Touch(dir, name);
  fs::create_directory(dir.path() / "holiday.jpg");
  TFiles files;
  files.CurrentFile = dir.file("a.jpg");
  files.Rescan();
  EXPECT_EQ(*files.Names, (std::vector<std::string>{"a.jpg", "B.jpg", "c.jpg", "holiday.jpg"}));
  EXPECT_EQ(files.Folder, FileFolder(dir.file("a.jpg")));
  EXPECT_TRUE(files.InListedFolder());
}

TEST(Files, NamesEqualButForCaseAreBothReachable) {
  if (FileNamesIgnoreCase()) GTEST_SKIP() << "such names are one file here";
  test::TempDir dir;
  Touch(dir, "photo.jpg");
  Touch(dir, "Photo.jpg");
  TFiles files;
  files.CurrentFile = dir.file("Photo.jpg");
  EXPECT_TRUE(files.Step(true));
  EXPECT_EQ(files.CurrentFile, dir.file("photo.jpg"));
  EXPECT_TRUE(files.Step(false));
  EXPECT_EQ(files.CurrentFile, dir.file("Photo.jpg"));
}

TEST(Files, StepFailsWithoutAPlaceToGo) {
  DecodeFixedTexts();
  TFiles files;
  EXPECT_FALSE(files.Step(true));  // nothing opened yet
  files.CurrentFile = sPastedImageName;
  EXPECT_FALSE(files.Step(true));
  EXPECT_FALSE(files.Step(false));

  test::TempDir dir;
  Touch(dir, "only.jpg");
  files.CurrentFile = dir.file("only.jpg");
  EXPECT_FALSE(files.Step(true));
  EXPECT_FALSE(files.Step(false));
}

TEST(Files, ListingIsKeptWhileStayingInTheFolder) {
  test::TempDir dir;
  Touch(dir, "a.jpg");
  Touch(dir, "b.jpg");
  TFiles files;
  files.CurrentFile = dir.file("a.jpg");
  EXPECT_TRUE(files.Step(true));
  Touch(dir, "c.jpg");  // saved after the listing was made
  EXPECT_FALSE(files.Step(true));

  test::TempDir other;
  Touch(other, "z.jpg");
  Touch(other, "y.jpg");
  files.CurrentFile = other.file("y.jpg");
  EXPECT_TRUE(files.Step(true));
  files.CurrentFile = dir.file("b.jpg");
  EXPECT_TRUE(files.Step(true));  // coming back lists the folder anew
  EXPECT_EQ(files.CurrentFile, dir.file("c.jpg"));
}

}  // namespace
}  // namespace tavren
