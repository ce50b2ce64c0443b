// Decoded pictures kept by path, so that returning to a file (stepping back
// and forth through a folder) skips decoding.
//
// The cache is bounded by memory: when a new picture would exceed the bound,
// the least recently used pictures are dropped.  A cached file whose size or
// modification time changed on disk is decoded again; a file deleted since
// it was cached still opens from the cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

#include "imaging/image.h"

namespace tavren {

class TCache {
 public:
  explicit TCache(std::size_t maxBytes = DefaultMaxBytes());

  // On a hit, image receives a copy of the cached picture and true is
  // returned; otherwise image is left alone.
  bool Get(const std::string& key, Image& image);
  // Stores a copy of image under key (replacing an older entry of the key).
  // A picture larger than the whole bound is not kept.
  void Add(const std::string& key, const Image& image);

  std::size_t Bytes() const { return bytes_; }
  std::size_t MaxBytes() const { return maxBytes_; }
  std::size_t Count() const { return entries_.size(); }

  // A quarter of the physical memory, at most 2 GiB.
  static std::size_t DefaultMaxBytes();

 private:
  struct Entry {
    std::string Key;
    Image Picture;
    bool FileKnown = false;  // size and time below were read from the file
    std::uintmax_t FileSize = 0;
    std::int64_t FileTime = 0;
  };

  std::list<Entry>::iterator Find(const std::string& key);
  void Drop(std::list<Entry>::iterator entry);

  std::size_t maxBytes_;
  std::size_t bytes_ = 0;
  std::list<Entry> entries_;  // most recently used first
};

}  // namespace tavren
