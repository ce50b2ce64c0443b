// Reading files.
//
// A file is read only when it is a regular file, checked on the opened file
// (a name can change between a check and an open).  Opening does not wait
// for a writer, so a pipe or device given a file's name is refused at once
// instead of blocking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavren {

class TInputFile {
 public:
  // Opens path for reading.  Throws TavrenError naming it when it is
  // missing, unreadable, a folder or anything but a regular file.
  explicit TInputFile(const std::string& path);
  ~TInputFile();
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;

  const std::string& Path() const { return path_; }
  std::uint64_t Size() const { return size_; }

  // Up to count bytes from pos; fewer only at the end of the file.  Throws
  // TavrenError when the system fails to read.
  std::size_t ReadAt(std::uint64_t pos, void* buffer, std::size_t count) const;
  // Throws TavrenError ("not a KIND picture") unless the file begins with
  // signature; an empty file is named as such.
  void RequireStart(std::string_view signature, const std::string& kind) const;
  // The whole file.
  std::vector<std::uint8_t> ReadAll() const;

 private:
  std::string path_;
  std::intptr_t handle_ = -1;  // the system's handle of the open file
  std::uint64_t size_ = 0;
};

// The bytes of the file at path, with the checks of TInputFile.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

// True when path names a regular file (a link is followed).
bool IsRegularFile(const std::string& path);

// Throws TavrenError(name, "not a KIND picture ...") unless the size bytes
// at data begin with signature; "the file is empty" when there are none.
void RequireSignature(const std::uint8_t* data, std::size_t size, std::string_view signature,
                      const std::string& kind, const std::string& name);

// A system error in plain words, the system's own wording in brackets:
// what is "reading" or "writing".  error is the system's number for it
// (errno here, GetLastError's on Windows), as the functions of system/
// give it.
std::string PlainSystemReason(int error, const char* what);

// The system's own wording of error.
std::string SystemErrorText(int error);

// What tells a changed file: its size and modification time, and, since a
// tool may put the time back, the time of its last change of any kind and
// which file of the disk it is.
struct TFileStamp {
  bool Exists = false;
  std::uintmax_t Size = 0;
  std::int64_t Time = 0;        // nanoseconds
  std::int64_t ChangeTime = 0;  // nanoseconds
  std::uint64_t Disk = 0;       // the device (the volume's serial number on Windows)
  std::uint64_t Identity = 0;   // the file's number on its disk
  bool operator==(const TFileStamp&) const = default;
};
TFileStamp FileStampOf(const std::string& path);

}  // namespace tavren
