// The whole enhancement on pictures built from the input: every automatic
// type, a manual setting and a reduction to a view, all chosen by the
// input, must finish without fault and give a picture of the right size.
//
// Input: a header of 8 bytes, then the bytes the pixels are made from.
//   0-1  width, 2-3 height (bounded so that a run stays fast)
//   4    how the pixels are made (see MakePixels)
//   5    the manual setting's strengths and options
//   6-7  the view to reduce to (0: no reduction)
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "enhance/base_image.h"
#include "enhance/process_types.h"

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::int64_t kMaxPixels = 16 * 1024;

struct Bytes {
  const std::uint8_t* Data;
  std::size_t Size;
  std::uint8_t At(std::size_t i) const { return Size == 0 ? 0 : Data[i % Size]; }
};

// A side of 1 to 1024 pixels; the area stays within kMaxPixels, so long thin
// pictures are reached as well as square ones.
void ChooseSize(const std::uint8_t* header, std::int32_t& width, std::int32_t& height) {
  width = 1 + (header[0] << 8 | header[1]) % 1024;
  height = 1 + (header[2] << 8 | header[3]) % 1024;
  while (static_cast<std::int64_t>(width) * height > kMaxPixels) height = (height + 1) / 2;
}

// The pixels, made in one of several ways so that pictures of few levels,
// smooth ramps, grey pictures, clipped ends and noise all occur.
void MakePixels(tavren::Image& picture, std::uint8_t how, const Bytes& bytes) {
  std::uint8_t* p = picture.Data();
  const std::size_t n = picture.ByteSize();
  std::uint32_t state = 0x9E3779B9u ^ bytes.At(0) ^ bytes.At(1) << 8 ^ bytes.Size;
  switch (how % 6) {
    case 0:  // the bytes repeated
      for (std::size_t i = 0; i < n; ++i) p[i] = bytes.At(i);
      break;
    case 1:  // a palette of up to 16 colours, chosen by the bytes
      for (std::size_t i = 0; i < n; i += 3) {
        const std::size_t colour = 3 * (bytes.At(i / 3) % (1 + how / 6 % 16));
        for (int c = 0; c < 3; ++c) p[i + c] = bytes.At(colour + c + 1);
      }
      break;
    case 2: {  // ramps whose slope and offset the bytes give
      for (std::int32_t y = 0; y < picture.Height(); ++y)
        for (std::int32_t x = 0; x < picture.Width(); ++x)
          for (int c = 0; c < 3; ++c)
            picture.Row(y)[3 * x + c] = static_cast<std::uint8_t>(
                bytes.At(c) + (x * bytes.At(3 + c)) / 64 + (y * bytes.At(6 + c)) / 64);
      break;
    }
    case 3:  // grey: the three channels equal
      for (std::size_t i = 0; i < n; i += 3) p[i] = p[i + 1] = p[i + 2] = bytes.At(i / 3);
      break;
    case 4:  // only the ends of the range
      for (std::size_t i = 0; i < n; ++i) p[i] = (bytes.At(i / 8) >> (i % 8)) & 1 ? 255 : 0;
      break;
    default:  // a level from the bytes with noise of a width they give
      for (std::size_t i = 0; i < n; ++i) {
        state = state * 1664525u + 1013904223u;
        const int spread = 1 + bytes.At(2);
        p[i] = static_cast<std::uint8_t>(std::clamp<int>(
            bytes.At(i % 3) + static_cast<int>(state >> 24) % spread - spread / 2, 0, 255));
      }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeaderSize) return 0;
  std::int32_t width = 0, height = 0;
  ChooseSize(data, width, height);
  const std::uint8_t how = data[4];
  const std::uint8_t settings = data[5];
  const std::int32_t viewWidth = data[6] * 8, viewHeight = data[7] * 8;
  const Bytes bytes{data + kHeaderSize, size - kHeaderSize};

  tavren::Image picture(width, height);
  MakePixels(picture, how, bytes);
  if (viewWidth > 0 && viewHeight > 0) {
    tavren::TBaseImage base = tavren::MakeBaseImage(picture, viewHeight, viewWidth);
    if (base.Picture == nullptr || base.Picture->Width() > width || base.Picture->Height() > height)
      std::abort();
    picture = std::move(*base.Picture);
  }
  for (int type = 1; type <= 3; ++type) {
    tavren::Image work = picture;
    tavren::ProcessWithPreset(work, tavren::TypePresets[type]);
    if (work.Width() != picture.Width() || work.Height() != picture.Height()) std::abort();
  }
  const tavren::TTypePreset manual{static_cast<std::uint8_t>(settings & 3),
                                   static_cast<std::uint8_t>((settings >> 2) & 1),
                                   static_cast<std::uint8_t>((settings >> 3) & 3),
                                   static_cast<std::uint8_t>((settings >> 5) & 1)};
  tavren::Image work = picture;
  tavren::ProcessWithPreset(work, manual);
  return 0;
}
