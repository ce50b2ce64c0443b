#include "system/file_replace.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "system/error.h"
#include "system/file_bytes.h"
#include "system/file_names.h"
#include "system/files_in_progress.h"

namespace tavren {

namespace {

[[noreturn]] void Fail(const std::string& fileName, const std::string& what, int error) {
  throw TavrenError(fileName, what + ": " + std::strerror(error));
}

using TInProgress = TFilesInProgress<char, PATH_MAX>;
TInProgress inProgress;
using InProgressEntry = TInProgress::TEntry;

long NameMax(const std::string& folder) {
  const long max = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return max > 0 ? max : 255;
}

// An open temporary file that is removed again unless it was kept.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& target) : target_(target) {}
  ~TemporaryFile() { Discard(); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates a new file next to the target; returns errno on failure.
  int Create(mode_t mode) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = FileFolder(target_);
    const std::string tail = kTemporaryNameMark + std::to_string(::getpid()) + "-";
    std::string stem = folder + "." + FileNameOf(target_) + tail;
    // Room for the number behind the stem.
    if (static_cast<long>(stem.size() - folder.size()) + 10 > NameMax(folder)) stem = folder + tail;
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = stem + std::to_string(counter++);
      registered_.reset();
      registered_ = std::make_unique<InProgressEntry>(inProgress, path_);
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (fd_ >= 0) return 0;
      if (errno != EEXIST) break;
    }
    const int error = errno;
    registered_.reset();
    path_.clear();
    return error;
  }

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

  // Closes the file; returns errno when closing reported an error.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

  // The file now has its final name: nothing to remove any more.
  void Keep() {
    registered_.reset();
    path_.clear();
  }

  void Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!path_.empty()) ::unlink(path_.c_str());
    registered_.reset();
    path_.clear();
  }

 private:
  std::string target_;
  std::string path_;
  std::unique_ptr<InProgressEntry> registered_;
  int fd_ = -1;
};

int WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

// A link is followed so that the file it points to is replaced, not the link.
std::string ResolveLink(const std::string& fileName) {
  std::error_code ec;
  if (!std::filesystem::is_symlink(fileName, ec)) return fileName;
  const auto resolved = std::filesystem::weakly_canonical(fileName, ec);
  return ec ? fileName : resolved.string();
}

// Not writable for us, or (for the superuser, whom permissions do not stop)
// without any write permission at all.
bool IsReadOnly(const std::string& fileName, const struct stat& info) {
  return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
         ::access(fileName.c_str(), W_OK) != 0;
}

// Best effort: makes the rename itself durable.  The new file is complete
// and in place whatever happens here, so a failure is not reported.
void SyncFolder(const std::string& fileName) {
  const std::string folder = FileFolder(fileName);
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool ProcessIsGone(long pid) {
  return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Once per folder and run.
bool FirstSaveInto(const std::string& folder) {
  static std::mutex mutex;
  static std::set<std::string> seen;
  std::lock_guard<std::mutex> lock(mutex);
  return seen.insert(folder).second;
}

}  // namespace

void RemoveStaleTemporaryFiles(const std::string& folder) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    long pid = 0;
    const std::string name = entry->d_name;
    if (!IsTemporaryFileName(name, pid) || !ProcessIsGone(pid)) continue;
    struct stat info {};
    const std::string path = folder + name;
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
  }
  ::closedir(dir);
}

int FolderWriteError(const std::string& folder) {
  return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

void RemoveTemporaryFilesInProgress() {
  inProgress.ForEachPath([](const char* path) { ::unlink(path); });
}

void ReplaceFileContents(const std::string& requestedName,
                         std::span<const std::span<const std::uint8_t>> pieces) {
  const std::string fileName = ResolveLink(requestedName);
  mode_t mode = 0666;  // narrowed by the umask for a new file
  bool keepMode = false;
  struct stat existing {};
  if (::stat(fileName.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) Fail(requestedName, "cannot replace a folder", EISDIR);
    if (!S_ISREG(existing.st_mode))
      throw TavrenError(
          requestedName,
          "is not a regular file (a device, pipe or socket); only a file is replaced");
    if (IsReadOnly(fileName, existing)) Fail(requestedName, "the file is read-only", EACCES);
    mode = existing.st_mode & 07777;
    keepMode = true;
  }
  const std::string folder = FileFolder(fileName);
  if (FirstSaveInto(folder)) RemoveStaleTemporaryFiles(folder);

  TemporaryFile temporary(fileName);
  if (const int error = temporary.Create(mode))
    throw TavrenError(requestedName,
                      "cannot create a file in its folder: " + PlainSystemReason(error, "writing"));
  if (keepMode && ::fchmod(temporary.fd(), mode) != 0)
    Fail(requestedName, "cannot set the file's permissions", errno);
  for (const std::span<const std::uint8_t> piece : pieces)
    if (const int error = WriteAll(temporary.fd(), piece.data(), piece.size()))
      throw TavrenError(requestedName,
                        "cannot write the file: " + PlainSystemReason(error, "writing"));
  if (::fsync(temporary.fd()) != 0)
    throw TavrenError(requestedName,
                      "cannot write the file to the disk: " + PlainSystemReason(errno, "writing"));
  if (const int error = temporary.Close())
    throw TavrenError(requestedName,
                      "cannot write the file: " + PlainSystemReason(error, "writing"));
  if (::rename(temporary.path().c_str(), fileName.c_str()) != 0)
    Fail(requestedName, "cannot put the file in place", errno);
  temporary.Keep();
  SyncFolder(fileName);
}

}  // namespace tavren
