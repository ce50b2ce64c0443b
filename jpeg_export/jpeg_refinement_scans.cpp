// An AC refinement scan is coded in two passes over the blocks, as the
// library does: the first counts the symbols, from which the scan's
// optimal Huffman table is built; the second writes the bits.  Both passes
// take the same steps, including where the library cuts an end-of-band run
// short, so the table and the bits are the library's.
#include "jpeg_export/jpeg_refinement_scans.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <optional>

#include "imaging/wide_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TAVREN_BLOCKS_IN_SIXTY_FOURS 1
#endif

namespace tavren {

namespace {

// Zigzag position to position in the block.
constexpr int kNaturalOrder[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                   12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                   35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                   58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
constexpr int kBlockSize = 64;

// The library ends an end-of-band run when its count would not fit the
// symbol's bits, or when the correction bits it holds back could overflow
// its buffer of this many during the next block.
constexpr std::uint32_t kLongestEndOfBandRun = 0x7FFF;
constexpr int kCorrectionBitsHeld = 1000;

constexpr int kZeroRun = 0xF0;  // sixteen zeros

// What coding a block needs of its coefficients in the scan, one bit per
// zigzag position k (of the coefficient's magnitude m = |c| >> Al).
struct TBlockBits {
  std::uint64_t Nonzero = 0;       // m != 0
  std::uint64_t NewlyNonzero = 0;  // m == 1: zero before this bit
  std::uint64_t LowBit = 0;        // m & 1: the correction bit of the others
  std::uint64_t Negative = 0;      // c < 0
};

// The zigzag positions Ss..Se.
std::uint64_t ScanPositions(const TAcRefinement& scan) {
  const std::uint64_t upToSe =
      scan.Se == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (scan.Se + 1)) - 1;
  return upToSe & ~((std::uint64_t{1} << scan.Ss) - 1);
}

// All 64 positions, then those of the scan: fixed bounds let the compiler
// unroll the loop with constant shifts.
TBlockBits ReadBlockOneByOne(const std::int16_t* block, int al, std::uint64_t inScan) {
  TBlockBits bits;
  for (int k = 0; k < kBlockSize; ++k) {
    const int c = block[kNaturalOrder[k]];
    const int m = (c < 0 ? -c : c) >> al;
    bits.Nonzero |= std::uint64_t{m != 0} << k;
    bits.NewlyNonzero |= std::uint64_t{m == 1} << k;
    bits.LowBit |= std::uint64_t(m & 1) << k;
    bits.Negative |= std::uint64_t{c < 0} << k;
  }
  bits.Nonzero &= inScan;
  bits.NewlyNonzero &= inScan;
  bits.LowBit &= inScan;
  bits.Negative &= inScan;
  return bits;
}

using TBlockReader = TBlockBits (*)(const std::int16_t*, int, std::uint64_t);

#if TAVREN_BLOCKS_IN_SIXTY_FOURS

// GCC 12's AVX-512 intrinsics hand their builtins a deliberately undefined
// value for the lanes their mask never picks, which -Wuninitialized then
// reports wherever they are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// The block in zigzag order, two halves of 32 coefficients, each half's
// bits at once.
__attribute__((target("avx512f,avx512bw"))) TBlockBits ReadBlockAvx512(const std::int16_t* block,
                                                                       int al,
                                                                       std::uint64_t inScan) {
  alignas(64) static constexpr std::array<std::int16_t, kBlockSize> kOrder = [] {
    std::array<std::int16_t, kBlockSize> order{};
    for (int k = 0; k < kBlockSize; ++k) order[k] = static_cast<std::int16_t>(kNaturalOrder[k]);
    return order;
  }();
  const __m512i first = _mm512_loadu_si512(block);
  const __m512i second = _mm512_loadu_si512(block + 32);
  const __m128i shift = _mm_cvtsi32_si128(al);
  const __m512i one = _mm512_set1_epi16(1);
  std::uint64_t masks[4][2];
  for (int half = 0; half < 2; ++half) {
    const __m512i order = _mm512_load_si512(kOrder.data() + 32 * half);
    const __m512i c = _mm512_permutex2var_epi16(first, order, second);
    const __m512i m = _mm512_srl_epi16(_mm512_abs_epi16(c), shift);
    masks[0][half] = _mm512_test_epi16_mask(m, m);
    masks[1][half] = _mm512_cmpeq_epi16_mask(m, one);
    masks[2][half] = _mm512_test_epi16_mask(m, one);
    masks[3][half] = _mm512_movepi16_mask(c);
  }
  TBlockBits bits;
  bits.Nonzero = (masks[0][0] | masks[0][1] << 32) & inScan;
  bits.NewlyNonzero = (masks[1][0] | masks[1][1] << 32) & inScan;
  bits.LowBit = (masks[2][0] | masks[2][1] << 32) & inScan;
  bits.Negative = (masks[3][0] | masks[3][1] << 32) & inScan;
  return bits;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif

TBlockReader BlockReader() {
#if TAVREN_BLOCKS_IN_SIXTY_FOURS
  if (ProcessorHasAvx512Bw() && WideKernelsAllowed()) return ReadBlockAvx512;
#endif
  return ReadBlockOneByOne;
}

// The first pass: how often each symbol occurs.  Symbol 256 stands for the
// code of all ones, which no symbol may have.
struct TSymbolCounts {
  std::array<std::int64_t, 257> Frequency{};
  void Symbol(int symbol) { ++Frequency[static_cast<std::size_t>(symbol)]; }
  void Bits(std::uint32_t, int) {}
  void HeldBits(const std::uint8_t*, int) {}
};

// A Huffman table as the DHT segment lists it: how many codes of each
// length 1..16 (bits[0] unused), and the symbols, shortest codes first.
struct THuffmanTable {
  std::array<std::uint8_t, 17> Bits{};
  std::vector<std::uint8_t> Symbols;
};

// The optimal table for the counted symbols, built as the JPEG standard's
// annex K describes and the library implements it: ties go to the larger
// symbol, and codes longer than 16 bits are moved up the tree.  Nothing
// when a code would be longer than 32 bits, which the library refuses.
std::optional<THuffmanTable> OptimalTable(std::array<std::int64_t, 257> frequency) {
  constexpr int kLongestCode = 32;
  std::array<int, 257> codeSize{};
  std::array<int, 257> next{};  // the next symbol in the same subtree, or -1
  next.fill(-1);
  frequency[256] = 1;  // keeps the all-ones code free
  for (;;) {
    // The two least frequent subtrees; on ties, the larger symbol.
    int c1 = -1;
    int c2 = -1;
    std::int64_t least = 1'000'000'000;
    for (int i = 0; i <= 256; ++i) {
      if (frequency[i] != 0 && frequency[i] <= least) {
        least = frequency[i];
        c1 = i;
      }
    }
    least = 1'000'000'000;
    for (int i = 0; i <= 256; ++i) {
      if (frequency[i] != 0 && frequency[i] <= least && i != c1) {
        least = frequency[i];
        c2 = i;
      }
    }
    if (c2 < 0) break;
    frequency[c1] += frequency[c2];
    frequency[c2] = 0;
    ++codeSize[c1];
    while (next[c1] >= 0) ++codeSize[c1 = next[c1]];
    next[c1] = c2;
    ++codeSize[c2];
    while (next[c2] >= 0) ++codeSize[c2 = next[c2]];
  }
  std::array<int, kLongestCode + 1> bits{};
  for (int i = 0; i <= 256; ++i) {
    if (codeSize[i] > kLongestCode) return std::nullopt;
    if (codeSize[i] != 0) ++bits[static_cast<std::size_t>(codeSize[i])];
  }
  int length = kLongestCode;
  for (; length > 16; --length) {
    while (bits[length] > 0) {
      int shorter = length - 2;
      while (bits[shorter] == 0) --shorter;
      bits[length] -= 2;
      ++bits[length - 1];
      bits[shorter + 1] += 2;
      --bits[shorter];
    }
  }
  while (bits[length] == 0) --length;
  --bits[length];  // the all-ones code's place
  THuffmanTable table;
  for (int i = 1; i <= 16; ++i) table.Bits[i] = static_cast<std::uint8_t>(bits[i]);
  for (int size = 1; size <= kLongestCode; ++size)
    for (int symbol = 0; symbol <= 255; ++symbol)
      if (codeSize[symbol] == size) table.Symbols.push_back(static_cast<std::uint8_t>(symbol));
  return table;
}

// The second pass: the coded bits, most significant first, with a zero
// byte stuffed after every 0xFF.
class TBitWriter {
 public:
  TBitWriter(const THuffmanTable& table, std::vector<std::uint8_t>& out)
      : out_(out), used_(out.size()) {
    // Codes in order of length, each the previous plus one.
    std::uint32_t code = 0;
    std::size_t at = 0;
    for (int length = 1; length <= 16; ++length, code <<= 1) {
      for (int i = 0; i < table.Bits[length]; ++i, ++code, ++at) {
        codes_[table.Symbols[at]] = code;
        sizes_[table.Symbols[at]] = static_cast<std::uint8_t>(length);
      }
    }
  }
  ~TBitWriter() { out_.resize(used_); }
  TBitWriter(const TBitWriter&) = delete;
  TBitWriter& operator=(const TBitWriter&) = delete;

  // Room for what one block, and the end of the scan, can write: at most
  // 1,000 correction bits, 63 symbols with signs, three runs of zeros and
  // two end-of-band runs, about 2,200 bits, each byte possibly stuffed.
  void MakeRoomForBlock() {
    constexpr std::size_t kMostBytes = 1024;
    if (out_.size() - used_ < kMostBytes)
      out_.resize(std::max(2 * out_.size(), used_ + kMostBytes));
  }
  void Symbol(int symbol) {
    Bits(codes_[static_cast<std::size_t>(symbol)], sizes_[static_cast<std::size_t>(symbol)]);
  }
  // Up to 24 bits.
  void Bits(std::uint32_t value, int count) {
    buffer_ = buffer_ << count | (value & ((1u << count) - 1));
    count_ += count;
    if (count_ >= 32) PutWord();
  }
  void HeldBits(const std::uint8_t* bits, int count) {
    for (; count >= 16; count -= 16, bits += 16) Bits(Pack(bits, 16), 16);
    if (count > 0) Bits(Pack(bits, count), count);
  }
  // The last byte filled up with ones; whole bytes out.
  void PadToByte() {
    if (count_ % 8 != 0) Bits(0x7F, 8 - count_ % 8);
    while (count_ >= 8) {
      count_ -= 8;
      PutByte(static_cast<std::uint8_t>(buffer_ >> count_));
    }
  }

 private:
  static std::uint32_t Pack(const std::uint8_t* bits, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 1 | bits[i];
    return value;
  }
  void PutByte(std::uint8_t byte) {
    out_[used_++] = byte;
    if (byte == 0xFF) out_[used_++] = 0;
  }
  // The oldest 32 bits; four bytes at once unless one of them is 0xFF.
  void PutWord() {
    count_ -= 32;
    const auto word = static_cast<std::uint32_t>(buffer_ >> count_);
    const std::uint32_t inverted = ~word;
    const bool hasFF = ((inverted - 0x01010101u) & ~inverted & 0x80808080u) != 0;
    if (!hasFF) {
      out_[used_] = static_cast<std::uint8_t>(word >> 24);
      out_[used_ + 1] = static_cast<std::uint8_t>(word >> 16);
      out_[used_ + 2] = static_cast<std::uint8_t>(word >> 8);
      out_[used_ + 3] = static_cast<std::uint8_t>(word);
      used_ += 4;
      return;
    }
    for (int shift = 24; shift >= 0; shift -= 8) PutByte(static_cast<std::uint8_t>(word >> shift));
  }

  std::array<std::uint32_t, 256> codes_{};
  std::array<std::uint8_t, 256> sizes_{};
  std::uint64_t buffer_ = 0;
  int count_ = 0;
  std::vector<std::uint8_t>& out_;
  std::size_t used_;
};

// What passes from block to block: the run of blocks with nothing left to
// code but correction bits, and those bits, not yet written.
struct TBandRun {
  std::uint32_t Blocks = 0;
  int HeldBits = 0;
  std::array<std::uint8_t, kCorrectionBitsHeld> Bits;
};

// The run's symbol (its length's bit count), the bits below its top one,
// then the correction bits held for it.
template <class Sink>
void EndBandRun(TBandRun& run, Sink& sink) {
  if (run.Blocks == 0) return;
  const int extraBits = std::bit_width(run.Blocks) - 1;
  sink.Symbol(extraBits << 4);
  if (extraBits > 0) sink.Bits(run.Blocks, extraBits);
  run.Blocks = 0;
  sink.HeldBits(run.Bits.data(), run.HeldBits);
  run.HeldBits = 0;
}

// One block.  A coefficient that was zero before this bit and is not now
// gets a symbol (the zeros before it, and one bit of size) and its sign; one
// that was not zero gets its next bit as a correction bit, which waits for
// the next symbol.  Zeros run across coefficients with correction bits.
template <class Sink>
void CodeBlock(const TBlockBits& block, const TAcRefinement& scan, TBandRun& run, Sink& sink) {
  // The last newly nonzero coefficient: sixteen zeros after it are left to
  // the end-of-band run.
  const int lastNew = block.NewlyNonzero == 0 ? 0 : std::bit_width(block.NewlyNonzero) - 1;
  std::uint8_t* blockBits = run.Bits.data() + run.HeldBits;
  int blockBitCount = 0;
  int zeros = 0;
  int previous = scan.Ss - 1;
  for (std::uint64_t rest = block.Nonzero; rest != 0; rest &= rest - 1) {
    const int k = std::countr_zero(rest);
    zeros += k - previous - 1;
    previous = k;
    while (zeros > 15 && k <= lastNew) {
      EndBandRun(run, sink);
      sink.Symbol(kZeroRun);
      zeros -= 16;
      sink.HeldBits(blockBits, blockBitCount);
      blockBits = run.Bits.data();
      blockBitCount = 0;
    }
    if ((block.NewlyNonzero >> k & 1) == 0) {
      blockBits[blockBitCount++] = static_cast<std::uint8_t>(block.LowBit >> k & 1);
      continue;
    }
    EndBandRun(run, sink);
    sink.Symbol(zeros << 4 | 1);
    sink.Bits((block.Negative >> k & 1) ^ 1, 1);
    sink.HeldBits(blockBits, blockBitCount);
    blockBits = run.Bits.data();
    blockBitCount = 0;
    zeros = 0;
  }
  zeros += scan.Se - previous;
  if (zeros > 0 || blockBitCount > 0) {
    ++run.Blocks;
    run.HeldBits += blockBitCount;
    if (run.Blocks == kLongestEndOfBandRun || run.HeldBits > kCorrectionBitsHeld - kBlockSize + 1)
      EndBandRun(run, sink);
  }
}

template <class Sink>
void CodeScan(const TBlockPlane& plane, const TAcRefinement& scan, Sink& sink) {
  const TBlockReader read = BlockReader();
  const std::uint64_t inScan = ScanPositions(scan);
  constexpr bool kWrites = requires { sink.MakeRoomForBlock(); };
  TBandRun run;
  for (const std::int16_t* row : plane.Rows) {
    for (std::uint32_t b = 0; b < plane.WidthInBlocks; ++b) {
      if constexpr (kWrites) sink.MakeRoomForBlock();
      CodeBlock(read(row + std::size_t{b} * kBlockSize, scan.Al, inScan), scan, run, sink);
    }
  }
  if constexpr (kWrites) sink.MakeRoomForBlock();
  EndBandRun(run, sink);
}

void PutMarker(std::vector<std::uint8_t>& out, std::uint8_t marker, std::size_t length) {
  out.insert(out.end(), {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                         static_cast<std::uint8_t>(length)});
}

void PutTable(const THuffmanTable& table, std::uint8_t acTable, std::vector<std::uint8_t>& out) {
  constexpr std::uint8_t kDefineHuffmanTable = 0xC4;
  constexpr std::uint8_t kAcClass = 0x10;
  PutMarker(out, kDefineHuffmanTable, 2 + 1 + 16 + table.Symbols.size());
  out.push_back(kAcClass | acTable);
  out.insert(out.end(), table.Bits.begin() + 1, table.Bits.end());
  out.insert(out.end(), table.Symbols.begin(), table.Symbols.end());
}

// One component; an AC scan names no DC table.
void PutScanHeader(const TBlockPlane& plane, const TAcRefinement& scan,
                   std::vector<std::uint8_t>& out) {
  constexpr std::uint8_t kStartOfScan = 0xDA;
  PutMarker(out, kStartOfScan, 2 + 1 + 2 + 3);
  out.insert(out.end(), {1, plane.ComponentId, plane.AcTable, static_cast<std::uint8_t>(scan.Ss),
                         static_cast<std::uint8_t>(scan.Se),
                         static_cast<std::uint8_t>(scan.Ah << 4 | scan.Al)});
}

}  // namespace

bool IsWritableAcRefinement(const TAcRefinement& scan) {
  return 1 <= scan.Ss && scan.Ss <= scan.Se && scan.Se <= 63 && 0 <= scan.Al && scan.Al <= 13 &&
         scan.Ah == scan.Al + 1;
}

bool AppendAcRefinementScan(const TBlockPlane& plane, const TAcRefinement& scan,
                            std::vector<std::uint8_t>& out) {
  TSymbolCounts counts;
  CodeScan(plane, scan, counts);
  const std::optional<THuffmanTable> table = OptimalTable(counts.Frequency);
  if (!table) return false;
  PutTable(*table, plane.AcTable, out);
  PutScanHeader(plane, scan, out);
  TBitWriter writer(*table, out);
  CodeScan(plane, scan, writer);
  writer.PadToByte();
  return true;
}

}  // namespace tavren
