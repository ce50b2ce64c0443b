// libtiff reads the values of every tag of the directory it opens, whether
// or not anything uses them, and a tag may claim gigabytes of a file's
// tail.  Values are given a budget before libtiff sees the directory.
#pragma once

#include <cstdint>
#include <vector>

#include "picture_io/byte_source.h"

namespace tavren {

// What the values of the first directory's tags may take together.  Far
// above what a picture's own tags need (strip places, colour tables, a
// colour profile, text); a layered file's private data may be larger and
// is never used here.
inline constexpr std::uint64_t kTiffValueBudget = std::uint64_t{64} << 20;

// The place and width of a count in the file.
struct TTiffCountPlace {
  std::uint64_t At = 0;
  unsigned Bytes = 0;
};

// The counts of the first directory's tags, classic or BigTIFF, whose
// values (in the order the directory lists them) no longer fit the budget;
// libtiff is shown them as 0, so that it reads those values as empty.
std::vector<TTiffCountPlace> CountsBeyondBudget(const TByteSource& file, std::uint64_t budget);

// Overwrites with 0 the bytes of [at, at + size) that lie in the counts
// (sorted by place).
void HideCounts(const std::vector<TTiffCountPlace>& counts, std::uint64_t at, std::uint8_t* data,
                std::uint64_t size);

}  // namespace tavren
