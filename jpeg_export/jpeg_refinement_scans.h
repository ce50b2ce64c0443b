// The refinement scans of a progressive JPEG's AC coefficients, written
// from the quantised coefficients as the JPEG library writes them: the
// scan's optimal Huffman table, its header and its coded data, the same
// bytes to the bit.  With it, the last scans of a file can be written on
// another thread while the library writes the scans before them.
#pragma once

#include <cstdint>
#include <vector>

namespace tavren {

// One component's quantised coefficients: rows of blocks, each block 64
// coefficients in the natural (row by row) order.
struct TBlockPlane {
  std::vector<const std::int16_t*> Rows;  // one per row of blocks in the scan
  std::uint32_t WidthInBlocks = 0;
  std::uint8_t ComponentId = 0;  // as in the frame header
  std::uint8_t AcTable = 0;      // the AC Huffman table slot of the component
};

// A successive-approximation refinement of coefficients Ss..Se (zigzag
// positions, 1 <= Ss <= Se <= 63): bit Al of each, where bits above it down
// to Ah = Al + 1 were sent before.
struct TAcRefinement {
  int Ss = 1;
  int Se = 63;
  int Ah = 1;
  int Al = 0;
};

// Whether the writer can write such a scan.
bool IsWritableAcRefinement(const TAcRefinement& scan);

// Appends the scan of plane to out: the table (DHT), the scan header (SOS)
// and the coded data, padded to a whole byte.  False, with nothing
// appended, where the library would refuse the scan's table (a code
// longer than 32 bits).
bool AppendAcRefinementScan(const TBlockPlane& plane, const TAcRefinement& scan,
                            std::vector<std::uint8_t>& out);

}  // namespace tavren
