#include "picture_io/file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "picture_io/error.h"
#include "picture_io/file_replace.h"

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
  ReplaceFileContents(path, bytes.data(), bytes.size());
}

}  // namespace tavren
