#include "workflow/picture_cache.h"

#include <algorithm>

#include "system/file_names.h"
#include "system/memory_pages.h"

namespace tavren {

namespace {

constexpr std::size_t kMaxDefaultBytes = std::size_t{2} << 30;

bool IsKept(const std::string& key, const std::vector<std::string>& keep) {
  return std::any_of(keep.begin(), keep.end(),
                     [&](const std::string& k) { return SamePathText(k, key); });
}

}  // namespace

TCache::TCache(std::size_t maxBytes) : maxBytes_(maxBytes) {}

std::size_t TCache::DefaultMaxBytes() {
  const std::size_t physical = PhysicalMemoryBytes();
  if (physical == 0) return kMaxDefaultBytes / 4;
  return std::min(physical / 4, kMaxDefaultBytes);
}

std::list<TCache::Entry>::iterator TCache::Locate(const std::string& key) {
  return std::find_if(entries_.begin(), entries_.end(),
                      [&](const Entry& e) { return SamePathText(e.Key, key); });
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
