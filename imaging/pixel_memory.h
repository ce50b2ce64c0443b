// Where pictures keep their pixels: memory aligned for large pages, kept
// for the next picture of the same size, and put in place ahead of the
// decoder.  None of it changes a byte of a picture, only how fast fresh
// memory becomes usable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>
#include <utility>

namespace tavren {

// Storage for pixels.  A whole picture is tens of megabytes that are
// written once from start to end; touching fresh memory one small page at a
// time costs more than the processing itself on some machines, so large
// blocks are aligned for the system's large pages and marked for them.
// Where the system offers none this changes nothing.  The bytes are the
// same either way.
template <typename T>
struct PixelAllocator {
  using value_type = T;
  PixelAllocator() = default;
  template <typename U>
  PixelAllocator(const PixelAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocatePixels(n * sizeof(T))); }
  // Growing leaves the new bytes as they are: whoever grows a picture says
  // what its pixels are (zeros, a copy, a decoded picture), so nothing is
  // written twice.
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  void deallocate(T* p, std::size_t n) { FreePixels(p, n * sizeof(T)); }
  template <typename U>
  bool operator==(const PixelAllocator<U>&) const {
    return true;
  }

  static void* AllocatePixels(std::size_t bytes);
  static void FreePixels(void* p, std::size_t bytes);
};

// Large blocks of pixels given back are kept, up to kSparePixelBytes in
// all, for the next picture of exactly the same size: opening photo after
// photo from one camera, and computing the types of each, asks for the
// same few sizes again and again.  A kept block's memory is already in
// place, while the system clears a fresh block page by page at its first
// touch, which costs about as much as a sweep over the picture.  The
// oldest kept blocks go first.
inline constexpr std::size_t kSparePixelBytes = std::size_t{64} << 20;
// What is kept now, and giving it all back to the system.
std::size_t SparePixelBytes();
void ReleaseSparePixels();

// While the decoder writes a fresh picture row after row, another thread
// asks the system to put the picture's memory in place from the top down,
// so that the clearing of fresh pages overlaps the decoding instead of
// adding to it.  Memory already in place is left as it is, whoever writes
// it meanwhile.  Does nothing for small pictures or on one core; waits for
// the other thread when destroyed.
class PagesInAdvance {
 public:
  PagesInAdvance(std::uint8_t* data, std::size_t bytes);
  ~PagesInAdvance();
  PagesInAdvance(const PagesInAdvance&) = delete;
  PagesInAdvance& operator=(const PagesInAdvance&) = delete;

 private:
  std::thread thread_;
};

}  // namespace tavren
