#include "imaging/file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "imaging/error.h"
#include "imaging/text_helpers.h"

namespace tavren {

namespace {

std::string SystemReason(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

// Closes a descriptor when the reader or writer leaves early.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports whether the close succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes, const std::string& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw TavrenError(path, SystemReason("cannot write the file", n < 0 ? errno : ENOSPC));
    done += static_cast<std::size_t>(n);
  }
}

// A name in path's folder that no file has yet, opened for writing.
int CreateTemporaryBeside(const std::string& path, std::string& tempPath) {
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = FileFolder(path) + "." + FileNameOf(path) + ".tmp" + std::to_string(::getpid()) +
               "-" + std::to_string(random() % 1000000);
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) throw TavrenError(path, SystemReason("cannot create the file", errno));
  }
  throw TavrenError(path, "cannot create a temporary file beside it");
}

}  // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) throw TavrenError(path, SystemReason("cannot open the file", errno));
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) throw TavrenError(path, SystemReason("cannot read the file", errno));
  if (!S_ISREG(info.st_mode)) throw TavrenError(path, "not a regular file");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(file.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw TavrenError(path, SystemReason("cannot read the file", errno));
    if (n == 0) break;  // the file shrank while we read it
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::string tempPath;
  FileDescriptor file(CreateTemporaryBeside(path, tempPath));
  try {
    WriteAll(file.get(), bytes, path);
    if (::fsync(file.get()) != 0) throw TavrenError(path, SystemReason("cannot write the file", errno));
    if (!file.Close()) throw TavrenError(path, SystemReason("cannot write the file", errno));
    if (::rename(tempPath.c_str(), path.c_str()) != 0)
      throw TavrenError(path, SystemReason("cannot replace the file", errno));
  } catch (...) {
    ::unlink(tempPath.c_str());
    throw;
  }
}

}  // namespace tavren
