#include "picture_io/file_replace.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "picture_io/error.h"
#include "picture_io/file_names.h"

namespace tavren {

namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

[[noreturn]] void Fail(const std::string& fileName, const std::string& what, int error) {
  throw TavrenError(fileName, what + ": " + ErrnoText(error));
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
    const std::string stem =
        FileFolder(target_) + "." + FileNameOf(target_) + kTemporaryNameMark + std::to_string(::getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = stem + "-" + std::to_string(counter++);
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (fd_ >= 0) return 0;
      if (errno != EEXIST) break;
    }
    const int error = errno;
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
  void Keep() { path_.clear(); }

  void Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
  }

 private:
  std::string target_;
  std::string path_;
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
  return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(fileName.c_str(), W_OK) != 0;
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

}  // namespace

void ReplaceFileContents(const std::string& requestedName, const std::uint8_t* data, std::size_t size) {
  const std::string fileName = ResolveLink(requestedName);
  mode_t mode = 0666;  // narrowed by the umask for a new file
  bool keepMode = false;
  struct stat existing {};
  if (::stat(fileName.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) Fail(requestedName, "cannot replace a folder", EISDIR);
    if (IsReadOnly(fileName, existing)) Fail(requestedName, "the file is read-only", EACCES);
    mode = existing.st_mode & 07777;
    keepMode = true;
  }

  TemporaryFile temporary(fileName);
  if (const int error = temporary.Create(mode))
    Fail(requestedName, "cannot create a file in its folder", error);
  if (keepMode && ::fchmod(temporary.fd(), mode) != 0)
    Fail(requestedName, "cannot set the file's permissions", errno);
  if (const int error = WriteAll(temporary.fd(), data, size))
    Fail(requestedName, "cannot write the file", error);
  if (::fsync(temporary.fd()) != 0) Fail(requestedName, "cannot write the file to the disk", errno);
  if (const int error = temporary.Close()) Fail(requestedName, "cannot write the file", error);
  if (::rename(temporary.path().c_str(), fileName.c_str()) != 0)
    Fail(requestedName, "cannot put the file in place", errno);
  temporary.Keep();
  SyncFolder(fileName);
}

}  // namespace tavren
