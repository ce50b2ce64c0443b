// Random access to the bytes of a file on disk or in memory, for the
// readers that walk a file's segments without loading it whole.
#pragma once

#include <algorithm>
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
  // The first count bytes (all of them when there are fewer), for a reader
  // that needs them in memory: bytes already in memory are used where they
  // are, a file's are read into storage.  Throws TavrenError when a file
  // cannot be read.
  virtual std::span<const std::uint8_t> ReadFront(std::vector<std::uint8_t>& storage,
                                                  std::uint64_t count) const = 0;
  // All the bytes, as ReadFront.
  std::span<const std::uint8_t> ReadWhole(std::vector<std::uint8_t>& storage) const {
    return ReadFront(storage, Size());
  }

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
  std::span<const std::uint8_t> ReadFront(std::vector<std::uint8_t>&,
                                          std::uint64_t count) const override {
    return {data_, static_cast<std::size_t>(std::min<std::uint64_t>(count, size_))};
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
  std::span<const std::uint8_t> ReadFront(std::vector<std::uint8_t>& storage,
                                          std::uint64_t count) const override;

 private:
  std::unique_ptr<TInputFile> owned_;
  const TInputFile* file_ = nullptr;
};

// The first bytes of another source, which must outlive it: a format whose
// container says where its data ends is read no further.
class TFrontByteSource final : public TByteSource {
 public:
  TFrontByteSource(const TByteSource& whole, std::uint64_t size)
      : whole_(whole), size_(std::min(size, whole.Size())) {}
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t pos, void* buffer, std::size_t count) const override {
    return Inside(pos, count) && whole_.Read(pos, buffer, count);
  }
  std::span<const std::uint8_t> ReadFront(std::vector<std::uint8_t>& storage,
                                          std::uint64_t count) const override {
    return whole_.ReadFront(storage, std::min(count, size_));
  }

 private:
  const TByteSource& whole_;
  std::uint64_t size_;
};

// A source read by a library that asks for a few bytes at a time (a
// chunk's header, a row's share of the data), mostly front to back but
// seeking where it must, through a buffer of its own, so that the file is
// neither held whole nor read a few bytes per system call.  It remembers
// whether more was asked for than the source has.
class TSourceInput {
 public:
  explicit TSourceInput(const TByteSource& source) : source_(source) {}

  std::uint64_t Size() const { return source_.Size(); }
  std::uint64_t Pos() const { return pos_; }
  bool RanOut() const { return ranOut_; }
  // Moves to pos, which may lie behind the end.
  void Seek(std::uint64_t pos) { pos_ = pos; }
  // Copies up to count bytes from the position on and moves past them;
  // returns how many the source still had.
  std::uint64_t Take(void* out, std::uint64_t count);

 private:
  // Fills the buffer from pos_ on; false when nothing is left there.
  bool Fill();

  static constexpr std::size_t kBufferBytes = 64 << 10;
  const TByteSource& source_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t bufferStart_ = 0;
  std::uint64_t pos_ = 0;
  bool ranOut_ = false;
};

}  // namespace tavren
