// The working image: one 24-bit bitmap, rows top row first, each pixel three
// bytes in the order blue, green, red, rows packed (stride = 3 x width).
// Every image algorithm works in place on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "imaging/pixel_memory.h"

namespace tavren {

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
