// A file's bytes in memory as a decoding library's input: read front to
// back, remembering whether the library asked for more than the file has.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tavren {

struct TMemoryInput {
  const std::uint8_t* Data;
  std::uint64_t Size;
  std::uint64_t Pos = 0;  // may lie behind the end after a seek
  bool RanOut = false;    // bytes behind the end of the file were asked for

  // Copies up to count bytes from pos on and moves past them; returns how
  // many the file still had.
  std::uint64_t Take(void* out, std::uint64_t count) {
    const std::uint64_t left = Pos < Size ? Size - Pos : 0;
    const std::uint64_t n = std::min(count, left);
    if (n < count) RanOut = true;
    if (n > 0) std::memcpy(out, Data + Pos, static_cast<std::size_t>(n));
    Pos += n;
    return n;
  }
};

}  // namespace tavren
