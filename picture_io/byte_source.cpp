#include "picture_io/byte_source.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavren {

bool TMemoryByteSource::Read(std::uint64_t pos, void* buffer, std::size_t count) const {
  if (!Inside(pos, count)) return false;
  if (count > 0) std::memcpy(buffer, data_ + pos, count);
  return true;
}

TFileByteSource::TFileByteSource(const std::string& fileName)
    : fd_(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
  struct stat info {};
  if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode))
    size_ = static_cast<std::uint64_t>(info.st_size);
}

TFileByteSource::~TFileByteSource() {
  if (fd_ >= 0) ::close(fd_);
}

bool TFileByteSource::Read(std::uint64_t pos, void* buffer, std::size_t count) const {
  if (!Inside(pos, count)) return false;
  auto* out = static_cast<char*>(buffer);
  while (count > 0) {
    const ssize_t got = ::pread(fd_, out, count, static_cast<off_t>(pos));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;  // the file shrank while we read it
    out += got;
    pos += static_cast<std::uint64_t>(got);
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace tavren
