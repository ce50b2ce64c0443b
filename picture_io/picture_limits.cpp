#include "picture_io/picture_limits.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "system/error.h"

namespace tavren {

namespace {

constexpr std::int64_t kPixelsPerMegapixel = 1'000'000;
constexpr std::uint64_t kMetadataRoom = 64u << 20;

// 0 until the limit is first asked for or set.
std::atomic<std::int64_t> limitInForce{0};

std::int64_t LimitFromEnvironment() {
  const char* text = std::getenv(kMaxMegapixelsVariable);
  if (text == nullptr) return kDefaultMaxPicturePixels;
  const auto megapixels = ParseMegapixels(text);
  return megapixels ? *megapixels * kPixelsPerMegapixel : kDefaultMaxPicturePixels;
}

// Whole megapixels as such, others to a tenth.  A declared size can be any
// two 32-bit numbers: their product is held exactly in a long double.
std::string Megapixels(long double pixels) {
  char text[48];
  const long double megapixels = pixels / kPixelsPerMegapixel;
  std::snprintf(text, sizeof text, megapixels == std::floor(megapixels) ? "%.0Lf" : "%.1Lf",
                megapixels);
  return text;
}

std::string Megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

}  // namespace

std::optional<std::int64_t> ParseMegapixels(const std::string& text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value * kPixelsPerMegapixel > kLargestPicturePixels) return std::nullopt;
  return value;
}

std::int64_t MaxPicturePixels() {
  std::int64_t limit = limitInForce.load();
  if (limit == 0) {
    std::int64_t expected = 0;
    limitInForce.compare_exchange_strong(expected, LimitFromEnvironment());
    limit = limitInForce.load();
  }
  return limit;
}

void SetMaxPicturePixels(std::int64_t pixels) {
  limitInForce = pixels < 1 ? 1 : (pixels > kLargestPicturePixels ? kLargestPicturePixels : pixels);
}

bool PictureSizeAllowed(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) return false;
  return width <= MaxPicturePixels() && height <= MaxPicturePixels() / width;
}

void RequirePictureSize(std::int64_t width, std::int64_t height, const std::string& file) {
  if (PictureSizeAllowed(width, height)) return;
  const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
  if (width <= 0 || height <= 0)
    throw TavrenError(file, "the picture has no pixels (" + size + ")");
  const long double pixels = static_cast<long double>(width) * static_cast<long double>(height);
  throw TavrenError(file, "the picture is too large: " + size + " (" + Megapixels(pixels) +
                              " megapixels) is above the limit of " +
                              Megapixels(static_cast<long double>(MaxPicturePixels())) +
                              " megapixels (" + kMaxMegapixelsVariable + " sets it)");
}

std::uint64_t MaxPictureFileBytes() {
  return static_cast<std::uint64_t>(MaxPicturePixels()) * (kMostFileBitsPerPixel / 8) +
         kMetadataRoom;
}

TPictureFile::TPictureFile(const std::string& path) : TInputFile(path) {
  if (Size() > MaxPictureFileBytes())
    throw TavrenError(path, "the file is too large (" + Megabytes(Size()) +
                                "): no picture within the limit of " +
                                std::to_string(MaxPicturePixels() / 1'000'000) +
                                " megapixels needs more than " + Megabytes(MaxPictureFileBytes()));
}

std::vector<std::uint8_t> ReadPictureFileBytes(const std::string& path) {
  return TPictureFile(path).ReadAll();
}

}  // namespace tavren
