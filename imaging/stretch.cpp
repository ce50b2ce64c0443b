#include "imaging/stretch.h"

#include <cstring>
#include <vector>

#include "imaging/thread_pool.h"

namespace tavren {

namespace {

// Source index of each of the targetCount target positions.
std::vector<std::int32_t> PickedIndices(std::int32_t sourceCount, std::int32_t targetCount) {
  std::vector<std::int32_t> picked(static_cast<std::size_t>(targetCount));
  for (std::int32_t i = 0; i < targetCount; ++i)
    picked[static_cast<std::size_t>(i)] =
        static_cast<std::int32_t>(static_cast<std::int64_t>(i) * sourceCount / targetCount);
  return picked;
}

}  // namespace

void StretchNearest(const Image& source, Image& target) {
  if (!ImageHasPixels(source) || !ImageHasPixels(target)) return;
  const std::vector<std::int32_t> columns = PickedIndices(source.Width(), target.Width());
  const std::vector<std::int32_t> rows = PickedIndices(source.Height(), target.Height());
  // Every target row is written from the source alone, so bands of rows
  // can be filled at once.
  ForEachRowBand(target.Height(), [&](int, std::int32_t firstRow, std::int32_t endRow) {
    for (std::int32_t y = firstRow; y < endRow; ++y) {
      const std::uint8_t* from = source.Row(rows[static_cast<std::size_t>(y)]);
      std::uint8_t* to = target.Row(y);
      for (std::int32_t column : columns) {
        std::memcpy(to, from + 3 * static_cast<std::size_t>(column), 3);
        to += 3;
      }
    }
  });
}

}  // namespace tavren
