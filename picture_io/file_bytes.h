// Reading picture files, and whole-file writing for the picture codecs.
//
// A picture is read only from a regular file, checked on the opened
// descriptor (a name can change between a check and an open).  Opening does
// not wait for a writer, so a pipe or device given a picture's name is
// refused at once instead of blocking, and a file larger than any picture
// within the limit could need (MaxPictureFileBytes) is refused before a
// byte of it is read.
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
  // missing, unreadable, a folder or anything but a regular file, or too
  // large.
  explicit TInputFile(const std::string& path);
  ~TInputFile();
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;

  const std::string& Path() const { return path_; }
  std::uint64_t Size() const { return size_; }
  int Descriptor() const { return fd_; }

  // Up to count bytes from pos; fewer only at the end of the file.
  std::size_t ReadAt(std::uint64_t pos, void* buffer, std::size_t count) const;
  // Throws TavrenError ("not a KIND picture") unless the file begins with
  // signature; an empty file is named as such.
  void RequireStart(std::string_view signature, const std::string& kind) const;
  // The whole file.
  std::vector<std::uint8_t> ReadAll() const;

 private:
  std::string path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// The bytes of the file at path, with the checks of TInputFile.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

// Throws TavrenError(name, "not a KIND picture ...") unless the size bytes
// at data begin with signature; "the file is empty" when there are none.
void RequireSignature(const std::uint8_t* data, std::size_t size, std::string_view signature,
                      const std::string& kind, const std::string& name);

// A system error in plain words, the system's own wording in brackets:
// what is "reading" or "writing".
std::string PlainSystemReason(int error, const char* what);

// Writes bytes to path so that path holds either its previous content or
// all of the new bytes, never a part (ReplaceFileContents).
void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace tavren
