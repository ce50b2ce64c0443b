#include "imaging/image.h"

#include <algorithm>
#include <cstring>

#include "imaging/thread_pool.h"

namespace tavren {

namespace {

constexpr std::size_t kParallelCopyBytes = std::size_t{1} << 20;

}  // namespace

Image::Image(std::int32_t width, std::int32_t height) { Reset(width, height); }

void Image::Reset(std::int32_t width, std::int32_t height) {
  width_ = width > 0 && height > 0 ? width : 0;
  height_ = width > 0 && height > 0 ? height : 0;
  pixels_.assign(Stride() * static_cast<std::size_t>(height_), 0);
}

void Image::ResetForOverwrite(std::int32_t width, std::int32_t height) {
  width_ = width > 0 && height > 0 ? width : 0;
  height_ = width > 0 && height > 0 ? height : 0;
  pixels_.resize(Stride() * static_cast<std::size_t>(height_));
}

// A large picture is copied by bands of rows over the pool: the copy is
// bound by memory, and by first touching fresh pages, which several
// threads do faster than one.
void Image::Assign(const Image& other) {
  if (this == &other) return;
  ResetForOverwrite(other.width_, other.height_);
  if (pixels_.size() < kParallelCopyBytes) {
    std::copy(other.pixels_.begin(), other.pixels_.end(), pixels_.begin());
    return;
  }
  ForEachRowBand(height_, [&](int, std::int32_t first, std::int32_t end) {
    std::memcpy(Row(first), other.Row(first), static_cast<std::size_t>(end - first) * Stride());
  });
}

bool ImageHasPixels(const Image* image) {
  return image != nullptr && static_cast<std::int64_t>(image->Width()) * image->Height() != 0;
}

bool ImagePixelCount(const Image* image, std::int32_t& count) {
  if (!ImageHasPixels(image)) return false;
  count = image->Width() * image->Height();
  return true;
}

void CopyImage(const Image* source, std::unique_ptr<Image>& target, bool forceNew) {
  if (source == nullptr) return;
  if (forceNew || target == nullptr) target = std::make_unique<Image>();
  target->Assign(*source);
}

}  // namespace tavren
