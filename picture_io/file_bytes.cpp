#include "picture_io/file_bytes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "picture_io/error.h"
#include "picture_io/file_replace.h"
#include "picture_io/picture_limits.h"

namespace tavren {

namespace {

std::string Megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

// Why a file that exists is not one to read a picture from.
void RequireRegularFile(const std::string& path, const struct stat& info) {
  if (S_ISDIR(info.st_mode)) throw TavrenError(path, "is a folder, not a picture file");
  if (!S_ISREG(info.st_mode))
    throw TavrenError(path, "is not a regular file (a device, pipe or socket), not a picture file");
}

std::string Hex(const std::uint8_t* data, std::size_t size) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", data[i]);
    text += byte;
  }
  return text;
}

}  // namespace

std::string PlainSystemReason(int error, const char* what) {
  const std::string system = std::strerror(error);
  switch (error) {
    case ENOENT: return "there is no such file (" + system + ")";
    case ENOTDIR: return "a part of the path is not a folder (" + system + ")";
    case EACCES:
    case EPERM: return std::string("no permission for ") + what + " (" + system + ")";
    case ENOSPC:
    case EDQUOT: return "the disk is full (" + system + ")";
    case EROFS: return "the disk is read-only (" + system + ")";
    case ENAMETOOLONG: return "the name is too long (" + system + ")";
    case EIO: return "the disk failed while " + std::string(what) + " (" + system + ")";
    default: return std::string("failed while ") + what + " (" + system + ")";
  }
}

TInputFile::TInputFile(const std::string& path) : path_(path) {
  if (path.empty()) throw TavrenError(path, "the file name is empty");
  // A look by name first, so that a device is not even opened; the
  // descriptor's own kind decides.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) throw TavrenError(path, PlainSystemReason(errno, "reading"));
  RequireRegularFile(path, info);
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd_ < 0) throw TavrenError(path, PlainSystemReason(errno, "reading"));
  try {
    if (::fstat(fd_, &info) != 0) throw TavrenError(path, PlainSystemReason(errno, "reading"));
    RequireRegularFile(path, info);
    size_ = static_cast<std::uint64_t>(info.st_size);
    if (size_ > MaxPictureFileBytes())
      throw TavrenError(path, "the file is too large (" + Megabytes(size_) +
                                  "): no picture within the limit of " +
                                  std::to_string(MaxPicturePixels() / 1'000'000) +
                                  " megapixels needs more than " +
                                  Megabytes(MaxPictureFileBytes()));
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

TInputFile::~TInputFile() { ::close(fd_); }

std::size_t TInputFile::ReadAt(std::uint64_t pos, void* buffer, std::size_t count) const {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(pos + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw TavrenError(path_, PlainSystemReason(errno, "reading"));
    if (n == 0) break;  // the end, or the file shrank while we read it
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void TInputFile::RequireStart(std::string_view signature, const std::string& kind) const {
  std::uint8_t head[16] = {};
  const std::size_t got = ReadAt(0, head, std::min(sizeof head, signature.size()));
  RequireSignature(head, got, signature, kind, path_);
}

std::vector<std::uint8_t> TInputFile::ReadAll() const {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size_));
  bytes.resize(ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) { return TInputFile(path).ReadAll(); }

void RequireSignature(const std::uint8_t* data, std::size_t size, std::string_view signature,
                      const std::string& kind, const std::string& name) {
  if (data == nullptr || size == 0) throw TavrenError(name, "the file is empty");
  const std::size_t n = std::min(size, signature.size());
  if (size >= signature.size() && std::memcmp(data, signature.data(), n) == 0) return;
  throw TavrenError(name, "the file is not a " + kind + " picture (it begins " + Hex(data, n) +
                              ", not " +
                              Hex(reinterpret_cast<const std::uint8_t*>(signature.data()),
                                  signature.size()) +
                              ")");
}

void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  ReplaceFileContents(path, bytes.data(), bytes.size());
}

}  // namespace tavren
