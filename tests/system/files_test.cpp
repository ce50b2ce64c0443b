// Reading, replacing and listing files through system/, as on every
// system the program is built for: letter case and separators are the
// system's, names are UTF-8 text.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "system/error.h"
#include "system/file_bytes.h"
#include "system/file_names.h"
#include "system/file_replace.h"
#include "system/state_store.h"

namespace tavren {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const Bytes kOriginal = {'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l'};
const Bytes kNew = {'n', 'e', 'w'};

std::vector<std::string> NamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(TextOf(entry.path().filename()));
  return names;
}

// The reason ReplaceFileContents gives; the old file and no temporary file
// are left.
std::string FailedReplacement(const test::TempDir& dir, const std::string& target) {
  const std::vector<std::string> before = NamesIn(dir.path());
  try {
    WriteFileAtomically(target, kNew);
  } catch (const TavrenError& error) {
    EXPECT_EQ(NamesIn(dir.path()), before);
    return error.reason();
  }
  ADD_FAILURE() << target << " was replaced";
  return {};
}

TEST(Files, UnicodeNamesAreWrittenReadListedAndOrdered) {
  test::TempDir dir;
  const std::string folder = TextOf(dir.path()) + "/";
  const std::vector<std::string> names = {
      "\xC3\x85lesund \xE2\x80\x93 \xC3\xA9t\xC3\xA9.jpg",  // Ålesund – été
      "\xD1\x91\xD0\xBB\xD0\xBA\xD0\xB0.jpg",               // ёлка
      "\xE5\x86\x99\xE7\x9C\x9F.jpg",                       // 写真
      "apple.jpg", "Zebra.jpg"};
  for (const std::string& name : names) WriteFileAtomically(folder + name, kOriginal);
  std::vector<std::string> listed = NamesIn(dir.path());
  std::sort(listed.begin(), listed.end());
  std::vector<std::string> expected = names;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed, expected);
  for (const std::string& name : names) {
    EXPECT_EQ(ReadFileBytes(folder + name), kOriginal) << name;
    EXPECT_TRUE(IsRegularFile(folder + name)) << name;
    EXPECT_TRUE(FileStampOf(folder + name).Exists) << name;
  }
  // The user's order puts letters of one kind together whatever their case.
  std::vector<std::string> ordered = names;
  SortNamesForUser(ordered);
  EXPECT_LT(std::find(ordered.begin(), ordered.end(), "apple.jpg"),
            std::find(ordered.begin(), ordered.end(), "Zebra.jpg"));
  EXPECT_EQ(ordered.size(), names.size());
}

TEST(Files, ReplacementKeepsTheOldFileWhereItCannotReplace) {
  test::TempDir dir;
  fs::create_directories(dir.path() / "photo.jpg" / "inside");
  EXPECT_NE(FailedReplacement(dir, dir.file("photo.jpg")), "");
  EXPECT_TRUE(fs::is_directory(dir.path() / "photo.jpg" / "inside"));

  const std::string locked = dir.file("locked.jpg");
  WriteFileAtomically(locked, kOriginal);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(FailedReplacement(dir, locked).rfind("the file is read-only: ", 0), 0u);
  EXPECT_EQ(ReadFileBytes(locked), kOriginal);

  const std::string plain = dir.file("plain.jpg");
  WriteFileAtomically(plain, kOriginal);
  WriteFileAtomically(plain, kNew);
  EXPECT_EQ(ReadFileBytes(plain), kNew);
}

// The user's store (the registry on Windows, a file under XDG_CONFIG_HOME
// here) gives back the bytes written, with the type they were written as.
TEST(Files, UserStateStoreGivesBackWhatItKept) {
  test::TempDir dir;
  // putenv keeps the text itself, so it lives as long as the process.
  static std::string home;
  home = "XDG_CONFIG_HOME=" + TextOf(dir.path());
  putenv(home.data());
  const std::string key =
      "Software\\Brisolm Imaging\\Tavren Test " + FileNameOf(TextOf(dir.path()));
  const std::unique_ptr<TStateStore> store = MakeUserStateStore(key, "Main");
  EXPECT_FALSE(store->Read().has_value());
  std::vector<std::uint8_t> record(296);
  for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(store->Write(record));
  const std::optional<TStateStore::Value> value = MakeUserStateStore(key, "Main")->Read();
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->Kind, TStoredKind::Binary);
  EXPECT_EQ(value->Bytes, record);
  // A number beside it: a DWORD value on Windows, its own file here.
  const std::vector<std::uint8_t> one = {1, 0, 0, 0};
  ASSERT_TRUE(MakeUserStateStore(key, "Option", TStoredKind::Number)->Write(one));
  const std::optional<TStateStore::Value> number =
      MakeUserStateStore(key, "Option", TStoredKind::Number)->Read();
  ASSERT_TRUE(number.has_value());
  EXPECT_EQ(number->Kind, TStoredKind::Number);
  EXPECT_EQ(number->Bytes, one);
  EXPECT_EQ(MakeUserStateStore(key, "Main")->Read()->Bytes, record);
  home = "XDG_CONFIG_HOME=";
  putenv(home.data());
}

}  // namespace
}  // namespace tavren
