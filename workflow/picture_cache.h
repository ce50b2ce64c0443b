// Decoded pictures kept by path, so that returning to a file (stepping back
// and forth through a folder) skips decoding.
//
// The cache is bounded by memory: when a new picture would exceed the bound,
// the least recently used pictures are dropped.  A cached file whose size or
// modification time changed on disk is decoded again; a file deleted since
// it was cached still opens from the cache.
//
// Pictures are shared, not copied: whoever takes one from the cache (the
// engine keeping the picture on show) holds the same pixels, which never
// change.  Memory held elsewhere for pictures prepared ahead of the user can
// be reserved against the bound.  The cache belongs to the window's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "system/file_bytes.h"

namespace tavren {

using TSharedPicture = std::shared_ptr<const Image>;

class TCache {
 public:
  explicit TCache(std::size_t maxBytes = DefaultMaxBytes());

  // The cached picture itself, or null on a miss.
  TSharedPicture Find(const std::string& key);

  // Stores picture under key (replacing an older entry of the key), with
  // the file's stamp taken before the file was read (so that a change while
  // decoding counts as a change).  Drops the least recently used pictures to
  // make room, but none whose key is in keep; false (nothing stored) when it
  // cannot fit without them, as for a picture larger than the whole bound.
  bool Add(const std::string& key, TSharedPicture picture, const TFileStamp& stamp,
           const std::vector<std::string>& keep = {});

  // Counts bytes held elsewhere against the bound, dropping pictures not in
  // keep to make room; false (nothing reserved) when they do not fit.
  bool Reserve(std::size_t bytes, const std::vector<std::string>& keep);
  void Release(std::size_t bytes);

  std::size_t Bytes() const { return bytes_; }
  std::size_t ReservedBytes() const { return reserved_; }
  std::size_t MaxBytes() const { return maxBytes_; }
  std::size_t Count() const { return entries_.size(); }

  // A quarter of the physical memory, at most 2 GiB.
  static std::size_t DefaultMaxBytes();

 private:
  struct Entry {
    std::string Key;
    TSharedPicture Picture;
    TFileStamp Stamp;
  };

  std::list<Entry>::iterator Locate(const std::string& key);
  void Drop(std::list<Entry>::iterator entry);
  // Drops least recently used entries not in keep until `bytes` more fit.
  bool MakeRoom(std::size_t bytes, const std::vector<std::string>& keep);

  std::size_t maxBytes_;
  std::size_t bytes_ = 0;
  std::size_t reserved_ = 0;
  std::list<Entry> entries_;  // most recently used first
};

}  // namespace tavren
