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

bool IsKept(const std::string& key, const std::vector<std::string>& keep) {
  return std::any_of(keep.begin(), keep.end(), [&](const std::string& k) { return SameKey(k, key); });
}

}  // namespace

TFileStamp FileStampOf(const std::string& path) {
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

TCache::TCache(std::size_t maxBytes) : maxBytes_(maxBytes) {}

std::size_t TCache::DefaultMaxBytes() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return kMaxDefaultBytes / 4;
  const std::size_t quarter =
      static_cast<std::size_t>(pages) / 4 * static_cast<std::size_t>(pageSize);
  return std::min(quarter, kMaxDefaultBytes);
}

std::list<TCache::Entry>::iterator TCache::Locate(const std::string& key) {
  return std::find_if(entries_.begin(), entries_.end(),
                      [&](const Entry& e) { return SameKey(e.Key, key); });
}

void TCache::Drop(std::list<Entry>::iterator entry) {
  bytes_ -= entry->Picture->ByteSize();
  entries_.erase(entry);
}

TSharedPicture TCache::Find(const std::string& key) {
  const auto entry = Locate(key);
  if (entry == entries_.end()) return nullptr;
  const TFileStamp stamp = FileStampOf(key);
  if (stamp.Exists && entry->Stamp.Exists && stamp != entry->Stamp) {
    Drop(entry);  // the file changed on disk: decode it again
    return nullptr;
  }
  entries_.splice(entries_.begin(), entries_, entry);
  return entry->Picture;
}

bool TCache::MakeRoom(std::size_t bytes, const std::vector<std::string>& keep) {
  if (bytes > maxBytes_) return false;
  auto entry = entries_.end();
  while (bytes_ + reserved_ + bytes > maxBytes_ && entry != entries_.begin()) {
    --entry;  // from the least recently used on
    if (!IsKept(entry->Key, keep)) Drop(entry++);
  }
  return bytes_ + reserved_ + bytes <= maxBytes_;
}

bool TCache::Add(const std::string& key, TSharedPicture picture, const TFileStamp& stamp,
                 const std::vector<std::string>& keep) {
  if (picture == nullptr) return false;
  if (const auto old = Locate(key); old != entries_.end()) Drop(old);
  const std::size_t size = picture->ByteSize();
  if (!MakeRoom(size, keep)) return false;
  entries_.push_front(Entry{key, std::move(picture), stamp});
  bytes_ += size;
  return true;
}

bool TCache::Reserve(std::size_t bytes, const std::vector<std::string>& keep) {
  if (!MakeRoom(bytes, keep)) return false;
  reserved_ += bytes;
  return true;
}

void TCache::Release(std::size_t bytes) { reserved_ -= std::min(bytes, reserved_); }

}  // namespace tavren
