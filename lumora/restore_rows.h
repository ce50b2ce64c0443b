// The colour-proportion restoration of one row, a pixel at a time and, on
// processors with AVX2, eight pixels at a time with the same bytes.
#pragma once

#include <cstdint>

namespace tavren {

// Gives each of the row's `width` pixels v the colour proportions of its
// original o (both blue, green, red).
void RestoreRowOneByOne(std::uint8_t* v, const std::uint8_t* o, std::int32_t width);

// The same, eight pixels at a time where the processor allows; false (and
// nothing done) where it does not.
bool RestoreRowInEights(std::uint8_t* v, const std::uint8_t* o, std::int32_t width);

// RestoreRowInEights where it runs and is allowed, otherwise
// RestoreRowOneByOne.
void RestoreRow(std::uint8_t* v, const std::uint8_t* o, std::int32_t width);

// While one lives, RestoreRow goes pixel by pixel everywhere in the process
// (tests compare the whole processing both ways).
class ScopedOneByOneRestore {
 public:
  ScopedOneByOneRestore();
  ~ScopedOneByOneRestore();
  ScopedOneByOneRestore(const ScopedOneByOneRestore&) = delete;
  ScopedOneByOneRestore& operator=(const ScopedOneByOneRestore&) = delete;
};

}  // namespace tavren
