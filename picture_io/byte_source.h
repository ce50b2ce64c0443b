// Random access to the bytes of a file on disk or in memory, for the
// readers that walk a file's segments without loading it whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "system/file_bytes.h"

namespace tavren {

// Read succeeds only when all the bytes asked for lie inside the source, so
// no offset or count taken from a file can make a reader run past its end.
class TByteSource {
 public:
  virtual ~TByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  virtual bool Read(std::uint64_t pos, void* buffer, std::size_t count) const = 0;
  // All the bytes, for a reader that needs them in memory: bytes already in
  // memory are used where they are, a file's are read into storage.  Throws
  // TavrenError when a file cannot be read.
  virtual std::span<const std::uint8_t> ReadWhole(std::vector<std::uint8_t>& storage) const = 0;

 protected:
  bool Inside(std::uint64_t pos, std::size_t count) const {
    return pos <= Size() && count <= Size() - pos;
  }
};

class TMemoryByteSource final : public TByteSource {
 public:
  TMemoryByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t pos, void* buffer, std::size_t count) const override;
  std::span<const std::uint8_t> ReadWhole(std::vector<std::uint8_t>&) const override {
    return {data_, size_};
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// A regular file read through TInputFile; a file that cannot be opened as
// one (a missing file, a folder, a device) reads as empty, and a failure to
// read is a failed Read, never an exception.
class TFileByteSource final : public TByteSource {
 public:
  // Opens fileName, which stays open while the object lives.
  explicit TFileByteSource(const std::string& fileName);
  // Reads the file already open, which must outlive the object.
  explicit TFileByteSource(const TInputFile& file);
  ~TFileByteSource() override;
  TFileByteSource(const TFileByteSource&) = delete;
  TFileByteSource& operator=(const TFileByteSource&) = delete;

  std::uint64_t Size() const override;
  bool Read(std::uint64_t pos, void* buffer, std::size_t count) const override;
  std::span<const std::uint8_t> ReadWhole(std::vector<std::uint8_t>& storage) const override;

 private:
  std::unique_ptr<TInputFile> owned_;
  const TInputFile* file_ = nullptr;
};

}  // namespace tavren
