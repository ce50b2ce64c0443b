#include "picture_io/picture_cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "picture_io/file_names.h"

namespace tavren {

namespace {

constexpr std::size_t kMaxDefaultBytes = std::size_t{2} << 30;

bool SameKey(const std::string& a, const std::string& b) {
#ifdef _WIN32
  // Windows paths ignore letter case.
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
#else
  return a == b;
#endif
}

struct FileStamp {
  bool Exists = false;
  std::uintmax_t Size = 0;
  std::int64_t Time = 0;  // nanoseconds
};

FileStamp StampOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return {};
#ifdef _WIN32
  const std::int64_t time = static_cast<std::int64_t>(status.st_mtime) * 1000000000;
#else
  const std::int64_t time =
      static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
#endif
  return {true, static_cast<std::uintmax_t>(status.st_size), time};
}

}  // namespace

TCache::TCache(std::size_t maxBytes) : maxBytes_(maxBytes) {}

std::size_t TCache::DefaultMaxBytes() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return kMaxDefaultBytes / 4;
  const std::size_t quarter =
      static_cast<std::size_t>(pages) / 4 * static_cast<std::size_t>(pageSize);
  return std::min(quarter, kMaxDefaultBytes);
}

std::list<TCache::Entry>::iterator TCache::Find(const std::string& key) {
  return std::find_if(entries_.begin(), entries_.end(),
                      [&](const Entry& e) { return SameKey(e.Key, key); });
}

void TCache::Drop(std::list<Entry>::iterator entry) {
  bytes_ -= entry->Picture.ByteSize();
  entries_.erase(entry);
}

bool TCache::Get(const std::string& key, Image& image) {
  const auto entry = Find(key);
  if (entry == entries_.end()) return false;
  const FileStamp stamp = StampOf(key);
  if (stamp.Exists && entry->FileKnown &&
      (stamp.Size != entry->FileSize || stamp.Time != entry->FileTime)) {
    Drop(entry);  // the file changed on disk: decode it again
    return false;
  }
  entries_.splice(entries_.begin(), entries_, entry);
  image.Assign(entry->Picture);
  return true;
}

void TCache::Add(const std::string& key, const Image& image) {
  if (const auto old = Find(key); old != entries_.end()) Drop(old);
  const std::size_t size = image.ByteSize();
  if (size > maxBytes_) return;
  while (!entries_.empty() && bytes_ + size > maxBytes_) Drop(std::prev(entries_.end()));
  const FileStamp stamp = StampOf(key);
  entries_.push_front(Entry{key, image, stamp.Exists, stamp.Size, stamp.Time});
  bytes_ += size;
}

}  // namespace tavren
