// The picture size a file of the formats read through libraries declares,
// read from its header, so that the fuzzers spend their time on contents
// rather than on decoding a few bytes that declare hundreds of megapixels
// (every such size is a real picture's, accepted by the intake).
#pragma once

#include <cstddef>
#include <cstdint>

#include <libheif/heif.h>
#include <webp/decode.h>

namespace fuzz {

// Inputs declaring more pixels than this are not decoded.
inline constexpr std::uint64_t kMaxFuzzPixels = 4u << 20;

inline std::uint64_t PngPixels(const std::uint8_t* data, std::size_t size) {
  if (size < 24) return 0;
  const auto number = [&](std::size_t at) {
    return std::uint64_t{data[at]} << 24 | std::uint64_t{data[at + 1]} << 16 | std::uint64_t{data[at + 2]} << 8 |
           data[at + 3];
  };
  return number(16) * number(20);
}

inline std::uint64_t WebpPixels(const std::uint8_t* data, std::size_t size) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) return 0;
  return std::uint64_t(features.width) * std::uint64_t(features.height);
}

inline std::uint64_t HeifPixels(const std::uint8_t* data, std::size_t size) {
  heif_context* context = heif_context_alloc();
  std::uint64_t pixels = 0;
  heif_image_handle* handle = nullptr;
  if (heif_context_read_from_memory_without_copy(context, data, size, nullptr).code == heif_error_Ok &&
      heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
    pixels = std::uint64_t(heif_image_handle_get_width(handle)) * std::uint64_t(heif_image_handle_get_height(handle));
    heif_image_handle_release(handle);
  }
  heif_context_free(context);
  return pixels;
}

}  // namespace fuzz
