#include "picture_io/tiff_value_budget.h"

#include <algorithm>

#include "picture_io/tiff_numbers.h"

namespace tavren {

namespace {

// libtiff gives up on a directory of more entries.
constexpr std::uint64_t kMostEntries = 4096;

// The shape of a directory: classic TIFF's or BigTIFF's.
struct TDirectoryShape {
  bool BigEndian = false;
  unsigned EntryCountBytes = 2;  // before the entries
  unsigned NumberBytes = 4;      // of a count and of a value's place
  std::uint64_t First = 0;       // where the first directory lies
  unsigned EntryBytes() const { return 4 + 2 * NumberBytes; }
};

bool ReadShape(const TByteSource& file, TDirectoryShape& shape) {
  std::uint8_t header[16];
  if (!file.Read(0, header, 8)) return false;
  if (header[0] != header[1] || (header[0] != 'I' && header[0] != 'M')) return false;
  shape.BigEndian = header[0] == 'M';
  const std::uint64_t version = NumberAt(header + 2, 2, shape.BigEndian);
  if (version == 42) {
    shape.First = NumberAt(header + 4, 4, shape.BigEndian);
    return true;
  }
  if (version != 43 || !file.Read(0, header, 16)) return false;
  shape.EntryCountBytes = 8;
  shape.NumberBytes = 8;
  shape.First = NumberAt(header + 8, 8, shape.BigEndian);
  return true;
}

}  // namespace

std::vector<TTiffCountPlace> CountsBeyondBudget(const TByteSource& file, std::uint64_t budget) {
  std::vector<TTiffCountPlace> hidden;
  TDirectoryShape shape;
  if (!ReadShape(file, shape)) return hidden;
  std::uint8_t head[8];
  const std::uint64_t size = file.Size();
  if (shape.First >= size || !file.Read(shape.First, head, shape.EntryCountBytes)) return hidden;
  const std::uint64_t start = shape.First + shape.EntryCountBytes;
  const std::uint64_t fits = (size - std::min(size, start)) / shape.EntryBytes();
  const std::uint64_t entries =
      std::min({NumberAt(head, shape.EntryCountBytes, shape.BigEndian), fits, kMostEntries});
  std::vector<std::uint8_t> block(static_cast<std::size_t>(entries * shape.EntryBytes()));
  if (!file.Read(start, block.data(), block.size())) return hidden;
  std::uint64_t taken = 0;
  for (std::uint64_t e = 0; e < entries; ++e) {
    const std::uint8_t* entry = block.data() + e * shape.EntryBytes();
    const std::uint64_t count = NumberAt(entry + 4, shape.NumberBytes, shape.BigEndian);
    const std::uint64_t unit = TiffTypeBytes(NumberAt(entry + 2, 2, shape.BigEndian));
    if (unit == 0 || count <= shape.NumberBytes / unit) continue;  // none, or held in the entry
    const std::uint64_t bytes = count > budget ? budget + 1 : count * unit;
    if (bytes <= budget - taken) {
      taken += bytes;
      continue;
    }
    hidden.push_back({start + e * shape.EntryBytes() + 4, shape.NumberBytes});
  }
  return hidden;
}

void HideCounts(const std::vector<TTiffCountPlace>& counts, std::uint64_t at, std::uint8_t* data,
                std::uint64_t size) {
  auto count = std::partition_point(counts.begin(), counts.end(),
                                    [&](const TTiffCountPlace& c) { return c.At + c.Bytes <= at; });
  for (; count != counts.end() && count->At < at + size; ++count) {
    const std::uint64_t from = std::max(count->At, at);
    const std::uint64_t to = std::min(count->At + count->Bytes, at + size);
    std::fill(data + (from - at), data + (to - at), std::uint8_t{0});
  }
}

}  // namespace tavren
