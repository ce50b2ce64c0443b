#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "system/error.h"
#include "system/file_bytes.h"

namespace tavren {

namespace {

// Why a file that exists is not one to read a picture from.
void RequireRegularFile(const std::string& path, const struct stat& info) {
  if (S_ISDIR(info.st_mode)) throw TavrenError(path, "is a folder, not a picture file");
  if (!S_ISREG(info.st_mode))
    throw TavrenError(path, "is not a regular file (a device, pipe or socket), not a picture file");
}

}  // namespace

std::string SystemErrorText(int error) { return std::strerror(error); }

std::string PlainSystemReason(int error, const char* what) {
  const std::string system = std::strerror(error);
  switch (error) {
    case ENOENT:
      return "there is no such file (" + system + ")";
    case ENOTDIR:
      return "a part of the path is not a folder (" + system + ")";
    case EACCES:
    case EPERM:
      return std::string("no permission for ") + what + " (" + system + ")";
    case ENOSPC:
    case EDQUOT:
      return "the disk is full (" + system + ")";
    case EROFS:
      return "the disk is read-only (" + system + ")";
    case ENAMETOOLONG:
      return "the name is too long (" + system + ")";
    case EIO:
      return "the disk failed while " + std::string(what) + " (" + system + ")";
    default:
      return std::string("failed while ") + what + " (" + system + ")";
  }
}

TInputFile::TInputFile(const std::string& path) : path_(path) {
  if (path.empty()) throw TavrenError(path, "the file name is empty");
  // A look by name first, so that a device is not even opened; the
  // descriptor's own kind decides.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    throw TavrenError(path, PlainSystemReason(errno, "reading"));
  RequireRegularFile(path, info);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) throw TavrenError(path, PlainSystemReason(errno, "reading"));
  handle_ = fd;
  try {
    if (::fstat(fd, &info) != 0) throw TavrenError(path, PlainSystemReason(errno, "reading"));
    RequireRegularFile(path, info);
    size_ = static_cast<std::uint64_t>(info.st_size);
  } catch (...) {
    ::close(fd);
    throw;
  }
}

TInputFile::~TInputFile() { ::close(static_cast<int>(handle_)); }

std::size_t TInputFile::ReadAt(std::uint64_t pos, void* buffer, std::size_t count) const {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(static_cast<int>(handle_), out + done, count - done,
                              static_cast<off_t>(pos + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw TavrenError(path_, PlainSystemReason(errno, "reading"));
    if (n == 0) break;  // the end, or the file shrank while we read it
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

TFileStamp FileStampOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return {};
  const auto nanoseconds = [](const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
  };
  return {true,
          static_cast<std::uintmax_t>(status.st_size),
          nanoseconds(status.st_mtim),
          nanoseconds(status.st_ctim),
          static_cast<std::uint64_t>(status.st_dev),
          static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace tavren
