// The whole enhancement on small pictures made of arbitrary bytes: every
// automatic type and a manual setting chosen by the input must finish
// without fault and give a picture of the same size.
#include <cstdint>
#include <cstdlib>

#include "enhance/process_types.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::int32_t width = 1 + data[0] % 48;
  const std::int32_t height = 1 + data[1] % 48;
  const std::uint8_t settings = data[2];
  data += 3;
  size -= 3;
  tavren::Image picture(width, height);
  // The pixels repeat the remaining bytes (a picture of few levels when
  // there are few bytes, which is where the histogram code has its edges).
  for (std::size_t i = 0; i < picture.ByteSize(); ++i)
    picture.Data()[i] = size == 0 ? 0 : data[i % size];

  for (int type = 1; type <= 3; ++type) {
    tavren::Image work = picture;
    tavren::ProcessWithPreset(work, tavren::TypePresets[type]);
    if (work.Width() != width || work.Height() != height) std::abort();
  }
  const tavren::TTypePreset manual{static_cast<std::uint8_t>(settings & 3),
                                   static_cast<std::uint8_t>((settings >> 2) & 1),
                                   static_cast<std::uint8_t>((settings >> 3) & 3),
                                   static_cast<std::uint8_t>((settings >> 5) & 1)};
  tavren::Image work = picture;
  tavren::ProcessWithPreset(work, manual);
  return 0;
}
