// Saving under faults: whatever fails, the file that was there survives and
// no temporary file is left behind after a failure we report.
#include <chrono>
#include <filesystem>
#include <random>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "jpeg_export/jpeg_export.h"
#include "support/jpeg_test_support.h"
#include "support/test_support.h"
#include "system/error.h"
#include "system/file_replace.h"

namespace tavren {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::vector<std::string> TemporaryFilesIn(const fs::path& folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.path().filename().string().find(kTemporaryNameMark) != std::string::npos)
      found.push_back(entry.path().filename().string());
  return found;
}

// The save must fail with a TavrenError naming the target and containing
// the reason; returns the reason.
std::string FailingSave(const Image& image, const std::string& target) {
  try {
    SaveJpegWithExif(image, target, "");
  } catch (const TavrenError& error) {
    EXPECT_EQ(error.file(), target);
    return error.reason();
  }
  ADD_FAILURE() << "the save into " << target << " succeeded";
  return {};
}

// A small tmpfs mounted for one test; mounting needs privileges a test
// machine may not give.
class ScopedTmpfs {
 public:
  explicit ScopedTmpfs(const fs::path& where, const std::string& options) : where_(where) {
    fs::create_directories(where_);
    mounted_ = ::mount("tmpfs", where_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~ScopedTmpfs() {
    if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  bool MakeReadOnly() {
    return ::mount("tmpfs", where_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  fs::path where_;
  bool mounted_ = false;
};

const Bytes kOriginal = {'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l'};

TEST(SaveFaults, ReadOnlyFolderLeavesTheTargetAndNoTemporaryFile) {
  test::TempDir dir;
  const fs::path folder = dir.path() / "locked";
  // Permissions do not stop the superuser: a read-only mount does.
  ScopedTmpfs mount(folder, "size=1m");
  if (::geteuid() == 0 && !mount.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  fs::create_directories(folder);
  test::WriteFileBytes((folder / "photo.jpg").string(), kOriginal);
  if (mount.mounted()) {
    ASSERT_TRUE(mount.MakeReadOnly());
  } else {
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  }
  EXPECT_NE(FailingSave(test::RandomImage(8, 8, 1), (folder / "photo.jpg").string()), "");
  FailingSave(test::RandomImage(8, 8, 1), (folder / "new.jpg").string());
  EXPECT_EQ(test::ReadFileBytes((folder / "photo.jpg").string()), kOriginal);
  EXPECT_FALSE(fs::exists(folder / "new.jpg"));
  EXPECT_TRUE(TemporaryFilesIn(folder).empty());
}

TEST(SaveFaults, FileInPlaceOfTheFolderAndAMissingFolder) {
  test::TempDir dir;
  test::WriteFileBytes(dir.file("notes"), kOriginal);
  const std::string reason =
      FailingSave(test::RandomImage(8, 8, 1), dir.file("notes") + "/out.jpg");
  EXPECT_NE(reason.find("Not a directory"), std::string::npos) << reason;
  EXPECT_EQ(test::ReadFileBytes(dir.file("notes")), kOriginal);

  fs::create_directories(dir.path() / "gone");
  fs::remove(dir.path() / "gone");
  const std::string missing =
      FailingSave(test::RandomImage(8, 8, 1), dir.file("gone") + "/out.jpg");
  EXPECT_NE(missing.find("No such file or directory"), std::string::npos) << missing;
  EXPECT_FALSE(fs::exists(dir.path() / "gone"));
  EXPECT_TRUE(TemporaryFilesIn(dir.path()).empty());
}

TEST(SaveFaults, FullDiskLeavesTheTargetAndNoTemporaryFile) {
  test::TempDir dir;
  const fs::path disk = dir.path() / "disk";
  ScopedTmpfs mount(disk, "size=64k");
  if (!mount.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (needs privileges)";
  const std::string target = (disk / "photo.jpg").string();
  test::WriteFileBytes(target, kOriginal);
  // Random pixels at quality 100 take far more than the disk holds.
  const std::string reason = FailingSave(test::RandomImage(256, 256, 9), target);
  EXPECT_NE(reason.find("No space left on device"), std::string::npos) << reason;
  EXPECT_EQ(test::ReadFileBytes(target), kOriginal);
  EXPECT_TRUE(TemporaryFilesIn(disk).empty());
  // The space came back: a picture that fits is saved.
  SaveJpegWithExif(test::RandomImage(8, 8, 1), target, "");
  EXPECT_EQ(test::DecodeWithLibrary(target).Width(), 8);
}

TEST(SaveFaults, ExistingPermissionsAreKept) {
  test::TempDir dir;
  const std::string target = dir.file("photo.jpg");
  test::WriteFileBytes(target, kOriginal);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  SaveJpegWithExif(test::RandomImage(8, 8, 1), target, "");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// A process killed at any moment of a save over an existing picture leaves
// either the old picture or the complete new one, never a mixture.
TEST(SaveFaults, KilledWhileSavingLeavesOldOrNewFile) {
  test::TempDir dir;
  const std::string target = dir.file("photo.jpg");
  SaveJpegWithExif(test::RandomImage(96, 64, 1), target, "");
  const Bytes before = test::ReadFileBytes(target);
  const Image next = test::RandomImage(96, 64, 2);

  const auto start = std::chrono::steady_clock::now();
  SaveJpegWithExif(next, dir.file("reference.jpg"), "");
  const Bytes after = test::ReadFileBytes(dir.file("reference.jpg"));
  const auto saveTime = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();

  std::mt19937 random(1234);
  int sawOld = 0, sawNew = 0;
  for (int round = 0; round < 40; ++round) {
    test::WriteFileBytes(target, before);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        SaveJpegWithExif(next, target, "");
      } catch (...) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    ::usleep(static_cast<useconds_t>(random() % (2 * saveTime + 1)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    const Bytes now = test::ReadFileBytes(target);
    ASSERT_TRUE(now == before || now == after) << "round " << round << ": a damaged file";
    (now == before ? sawOld : sawNew)++;
    // A killed process cannot clean up; its temporary file is all that may remain.
    for (const std::string& leftover : TemporaryFilesIn(dir.path()))
      fs::remove(dir.path() / leftover);
  }
  RecordProperty("old_after_kill", sawOld);
  RecordProperty("new_after_kill", sawNew);
}

}  // namespace
}  // namespace tavren

namespace tavren {
namespace {

// Only a regular file is replaced: through a link the file it points to
// (the link stays a link), never a device, pipe or folder behind a link.
TEST(SaveFaults, OnlyRegularFilesAreReplacedLinksAreFollowed) {
  test::TempDir dir;
  const Image picture = test::RandomImage(8, 8, 1);
  test::WriteFileBytes(dir.file("real.jpg"), kOriginal);
  fs::create_symlink(dir.file("real.jpg"), dir.file("link.jpg"));
  SaveJpegWithExif(picture, dir.file("link.jpg"), "");
  EXPECT_TRUE(fs::is_symlink(dir.file("link.jpg")));
  EXPECT_EQ(test::DecodeWithLibrary(dir.file("real.jpg")).Width(), 8);

  ASSERT_EQ(::mkfifo(dir.file("pipe.jpg").c_str(), 0644), 0);
  fs::create_symlink("/dev/null", dir.file("device.jpg"));
  fs::create_symlink(dir.file("pipe.jpg"), dir.file("to_pipe.jpg"));
  for (const char* name : {"device.jpg", "pipe.jpg", "to_pipe.jpg"})
    EXPECT_NE(FailingSave(picture, dir.file(name)).find("not a regular file"), std::string::npos)
        << name;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_fifo(dir.file("pipe.jpg")));
  EXPECT_TRUE(TemporaryFilesIn(dir.path()).empty());
}

pid_t AProcessThatHasEnded() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

// Temporary files of processes that no longer run are removed by the next
// save into their folder; anything else of a similar name stays.
TEST(SaveFaults, StaleTemporaryFilesOfEndedProcessesGo) {
  test::TempDir dir;
  const std::string ended = std::to_string(AProcessThatHasEnded());
  const std::string alive = std::to_string(::getpid());
  const std::vector<std::string> stale = {".a.jpg.tavren-save-" + ended + "-3",
                                          ".tavren-save-" + ended + "-0"};
  const std::vector<std::string> kept = {
      ".a.jpg.tavren-save-" + alive + "-1", ".a.jpg.tavren-save-" + ended + "-3.bak",
      "a.jpg.tavren-save-" + ended + "-3", ".a.jpg.tavren-save-" + ended + "-x"};
  for (const auto& name : stale) test::WriteFileBytes(dir.file(name), kOriginal);
  for (const auto& name : kept) test::WriteFileBytes(dir.file(name), kOriginal);
  SaveJpegWithExif(test::RandomImage(8, 8, 1), dir.file("new.jpg"), "");
  for (const auto& name : stale) EXPECT_FALSE(fs::exists(dir.file(name))) << name;
  for (const auto& name : kept) EXPECT_TRUE(fs::exists(dir.file(name))) << name;
}

// A name near the file system's limit still saves: the temporary file then
// takes the short form.
TEST(SaveFaults, ANameNearTheLimitStillSaves) {
  test::TempDir dir;
  const std::string target = dir.file(std::string(250, 'n') + ".jpg");
  SaveJpegWithExif(test::RandomImage(8, 8, 1), target, "");
  EXPECT_EQ(test::DecodeWithLibrary(target).Width(), 8);
  EXPECT_TRUE(TemporaryFilesIn(dir.path()).empty());
}

}  // namespace
}  // namespace tavren
