#include "imaging/pixel_memory.h"

#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(p, bytes) ((void)(p), (void)(bytes))
#define ASAN_UNPOISON_MEMORY_REGION(p, bytes) ((void)(p), (void)(bytes))
#endif

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <vector>

#include "imaging/thread_pool.h"
#include "system/memory_pages.h"

namespace tavren {

namespace {

// The large page size; blocks from this size on are aligned to it.
constexpr std::size_t kLargePage = std::size_t{2} << 20;

// The kept blocks, newest first.  Under the address checker a kept block is
// marked unusable until it is handed out again, so that a picture still
// read after it was given back is caught as before.
class SpareBlocks {
 public:
  void* Take(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(blocks_.begin(), blocks_.end(),
                                    [&](const Block& block) { return block.Bytes == bytes; });
    if (found == blocks_.end()) return nullptr;
    void* p = found->P;
    total_ -= bytes;
    blocks_.erase(found);
    ASAN_UNPOISON_MEMORY_REGION(p, bytes);
    return p;
  }

  void Give(void* p, std::size_t bytes) {
    ASAN_POISON_MEMORY_REGION(p, bytes);
    std::vector<Block> evicted;
    {
      std::lock_guard lock(mutex_);
      blocks_.push_front({p, bytes});
      total_ += bytes;
      while (total_ > kSparePixelBytes) {
        evicted.push_back(blocks_.back());
        total_ -= blocks_.back().Bytes;
        blocks_.pop_back();
      }
    }
    for (const Block& block : evicted) Release(block);
  }

  std::size_t Bytes() {
    std::lock_guard lock(mutex_);
    return total_;
  }

  void ReleaseAll() {
    std::deque<Block> blocks;
    {
      std::lock_guard lock(mutex_);
      blocks.swap(blocks_);
      total_ = 0;
    }
    for (const Block& block : blocks) Release(block);
  }

 private:
  struct Block {
    void* P;
    std::size_t Bytes;
  };

  static void Release(const Block& block) {
    ASAN_UNPOISON_MEMORY_REGION(block.P, block.Bytes);
    FreeAlignedBlock(block.P);
  }

  std::mutex mutex_;
  std::deque<Block> blocks_;
  std::size_t total_ = 0;
};

// Never destroyed: pictures in static storage may be given back after the
// end of main.
SpareBlocks& Spares() {
  static SpareBlocks* spares = new SpareBlocks;
  return *spares;
}

}  // namespace

std::size_t SparePixelBytes() { return Spares().Bytes(); }
void ReleaseSparePixels() { Spares().ReleaseAll(); }

template <typename T>
void* PixelAllocator<T>::AllocatePixels(std::size_t bytes) {
  if (bytes < kLargePage) {
    if (void* p = std::malloc(bytes == 0 ? 1 : bytes)) return p;
    throw std::bad_alloc();
  }
  if (void* kept = Spares().Take(bytes)) return kept;
  void* p = AllocateAlignedBlock(bytes, kLargePage);
  if (p == nullptr) throw std::bad_alloc();
  // Only whole large pages: the system clears a large page entirely when
  // it is first touched, and a picture's tail would use a fraction of one.
  AdviseLargePages(p, bytes / kLargePage * kLargePage);
  return p;
}

template <typename T>
void PixelAllocator<T>::FreePixels(void* p, std::size_t bytes) {
  if (p == nullptr) return;
  if (bytes < kLargePage)
    std::free(p);
  else if (bytes <= kSparePixelBytes)
    Spares().Give(p, bytes);
  else
    FreeAlignedBlock(p);
}

template struct PixelAllocator<std::uint8_t>;

PagesInAdvance::PagesInAdvance(std::uint8_t* data, std::size_t bytes) {
  if (!CanPopulateForWrite() || bytes < kLargePage || ConfiguredThreadCount() < 2) return;
  // Whole large pages inside the block only: the decoder meets the first
  // one before the other thread could.
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (start + kLargePage - 1) / kLargePage * kLargePage;
  const std::uintptr_t end = start + bytes;
  if (first >= end) return;
  try {
    thread_ = std::thread([first, end] {
      for (std::uintptr_t at = first; at < end; at += kLargePage) {
        const std::size_t length = std::min<std::uintptr_t>(kLargePage, end - at) / 4096 * 4096;
        // Only advice: where the system refuses, the decoder's writes do it.
        if (length == 0) break;
        if (!PopulateForWrite(reinterpret_cast<void*>(at), length)) break;
      }
    });
  } catch (const std::system_error&) {
    // No thread to spare: the decoder's writes put the memory in place.
  }
}

PagesInAdvance::~PagesInAdvance() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace tavren
