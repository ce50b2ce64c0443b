// The working image: one 24-bit bitmap, rows top row first, each pixel three
// bytes in the order blue, green, red, rows packed (stride = 3 x width).
// Every image algorithm works in place on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

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
  bool operator==(const PixelAllocator<U>&) const { return true; }

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

class Image {
 public:
  Image() = default;
  // A black picture of the given size; negative sizes count as 0.
  Image(std::int32_t width, std::int32_t height);

  Image(const Image&) = default;
  Image& operator=(const Image&) = default;
  // A picture moved away leaves an empty one behind, never a size without
  // pixels.
  Image(Image&& other) noexcept
      : width_(std::exchange(other.width_, 0)),
        height_(std::exchange(other.height_, 0)),
        pixels_(std::move(other.pixels_)) {
    other.pixels_.clear();
  }
  Image& operator=(Image&& other) noexcept {
    if (this != &other) {
      width_ = std::exchange(other.width_, 0);
      height_ = std::exchange(other.height_, 0);
      pixels_ = std::move(other.pixels_);
      other.pixels_.clear();
    }
    return *this;
  }

  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  std::size_t Stride() const { return 3 * static_cast<std::size_t>(width_); }
  std::size_t ByteSize() const { return pixels_.size(); }

  // Row y (0 = top): Width pixels of blue, green, red.
  std::uint8_t* Row(std::int32_t y) { return pixels_.data() + y * Stride(); }
  const std::uint8_t* Row(std::int32_t y) const { return pixels_.data() + y * Stride(); }
  std::uint8_t* Data() { return pixels_.data(); }
  const std::uint8_t* Data() const { return pixels_.data(); }

  // New size; the pixels become black.
  void Reset(std::int32_t width, std::int32_t height);
  // The same size change for a caller that writes every pixel itself: the
  // pixels are left unset.
  void ResetForOverwrite(std::int32_t width, std::int32_t height);
  // An independent copy of the other image's size and pixels (reusing this
  // object's storage where it is large enough).
  void Assign(const Image& other);

  bool operator==(const Image& other) const = default;

 private:
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::vector<std::uint8_t, PixelAllocator<std::uint8_t>> pixels_;
};

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

// True when the image exists and has at least one pixel.
bool ImageHasPixels(const Image* image);
inline bool ImageHasPixels(const Image& image) { return ImageHasPixels(&image); }

// ImageHasPixels; when true, count := width x height, otherwise count is left
// unchanged.
bool ImagePixelCount(const Image* image, std::int32_t& count);
inline bool ImagePixelCount(const Image& image, std::int32_t& count) {
  return ImagePixelCount(&image, count);
}

// Copies source into target.  Nothing happens when source is null.  With
// forceNew, or when target holds no image, target receives a new image;
// otherwise the existing target object is reused and only its pixels change.
void CopyImage(const Image* source, std::unique_ptr<Image>& target, bool forceNew);

}  // namespace tavren
