// Eight pixels at a time, in 32-bit lanes, one lane per pixel:
//   - a pixel that did not change stays as it is, and an original of black
//     gives black;
//   - a bright original value (over 230) knocked down to 0 counts as 255;
//   - each channel becomes Round(oc x sv / so) with sv and so the sums of
//     the new and the original values.
// The quotient comes from a single-precision division: q = oc x sv is below
// 2^18 and so at most 765, both exact in a float, and the correctly rounded
// q / so lies within 255 x 2^-24 of the exact value while it is below 255,
// whereas a value that is not whole lies at least 1 / so >= 1/765 from the
// next whole number; so its whole part is exact.  The remainder then
// decides the rounding in whole numbers.  Exact halves and values of 255
// or more are left to the pixel-by-pixel path, which takes the extended
// computation for them.
#include "lumora/restore_rows.h"

#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TAVREN_RESTORE_IN_EIGHTS 1
#endif

namespace tavren {

#if TAVREN_RESTORE_IN_EIGHTS

namespace {

constexpr std::int8_t kNone = -128;  // a shuffle index that gives 0

// In each 128-bit half (four pixels, twelve bytes): byte b of pixel k to
// the low byte of 32-bit lane k, the other bytes 0.
__attribute__((target("avx2"))) __m256i ChannelPick(int b) {
  alignas(32) std::int8_t index[32];
  for (int i = 0; i < 32; ++i) index[i] = kNone;
  for (int half = 0; half < 2; ++half)
    for (int k = 0; k < 4; ++k) index[16 * half + 4 * k] = static_cast<std::int8_t>(3 * k + b);
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(index));
}

// The way back: the low byte of lane k to byte b of pixel k.
__attribute__((target("avx2"))) __m256i ChannelPut(int b) {
  alignas(32) std::int8_t index[32];
  for (int i = 0; i < 32; ++i) index[i] = kNone;
  for (int half = 0; half < 2; ++half)
    for (int k = 0; k < 4; ++k) index[16 * half + 3 * k + b] = static_cast<std::int8_t>(4 * k);
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(index));
}

// Bytes 12 to 15 of each half, which belong to later pixels, kept as read.
__attribute__((target("avx2"))) __m256i TailKeep() {
  alignas(32) std::int8_t index[32];
  for (int i = 0; i < 32; ++i) index[i] = kNone;
  for (int half = 0; half < 2; ++half)
    for (int i = 12; i < 16; ++i) index[16 * half + i] = static_cast<std::int8_t>(i);
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(index));
}

struct Shuffles {
  __m256i pick[3];
  __m256i put[3];
  __m256i tail;
};

__attribute__((target("avx2"))) Shuffles MakeShuffles() {
  Shuffles made;
  for (int b = 0; b < 3; ++b) {
    made.pick[b] = ChannelPick(b);
    made.put[b] = ChannelPut(b);
  }
  made.tail = TailKeep();
  return made;
}

// Pixels 0-3 in the low half, 4-7 in the high half.
__attribute__((target("avx2"))) __m256i LoadEight(const std::uint8_t* p) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// Restores eight pixels; those that need the pixel-by-pixel path get their
// input back and go that way.
__attribute__((target("avx2"))) void RestoreEight(std::uint8_t* v, const std::uint8_t* o,
                                                   const Shuffles& s) {
  const __m256i vin = LoadEight(v);
  const __m256i oin = LoadEight(o);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i full = _mm256_set1_epi32(255);
  __m256i oc[3], vc[3], vraw[3];
  __m256i unchanged = _mm256_set1_epi32(-1);
  for (int b = 0; b < 3; ++b) {
    oc[b] = _mm256_shuffle_epi8(oin, s.pick[b]);
    vraw[b] = _mm256_shuffle_epi8(vin, s.pick[b]);
    unchanged = _mm256_and_si256(unchanged, _mm256_cmpeq_epi32(vraw[b], oc[b]));
    const __m256i knockedDown = _mm256_and_si256(_mm256_cmpgt_epi32(oc[b], _mm256_set1_epi32(230)),
                                                 _mm256_cmpeq_epi32(vraw[b], zero));
    vc[b] = _mm256_blendv_epi8(vraw[b], full, knockedDown);
  }
  const __m256i sv = _mm256_add_epi32(vc[0], _mm256_add_epi32(vc[1], vc[2]));
  const __m256i so = _mm256_add_epi32(oc[0], _mm256_add_epi32(oc[1], oc[2]));
  const __m256i black = _mm256_cmpeq_epi32(so, zero);
  const __m256 divisor = _mm256_cvtepi32_ps(_mm256_max_epi32(so, _mm256_set1_epi32(1)));
  __m256i out[3];
  __m256i hard = zero;
  for (int b = 0; b < 3; ++b) {
    const __m256i q = _mm256_mullo_epi32(oc[b], sv);
    const __m256i quotient =
        _mm256_cvttps_epi32(_mm256_floor_ps(_mm256_div_ps(_mm256_cvtepi32_ps(q), divisor)));
    const __m256i rest = _mm256_sub_epi32(q, _mm256_mullo_epi32(quotient, so));
    const __m256i twiceRest = _mm256_add_epi32(rest, rest);
    const __m256i reachesFull = _mm256_cmpgt_epi32(quotient, _mm256_set1_epi32(254));
    const __m256i exactHalf = _mm256_cmpeq_epi32(twiceRest, so);
    hard = _mm256_or_si256(hard, _mm256_or_si256(reachesFull, exactHalf));
    // cmpgt gives -1 where the remainder is over a half: subtracting it rounds up.
    out[b] = _mm256_sub_epi32(quotient, _mm256_cmpgt_epi32(twiceRest, so));
  }
  hard = _mm256_andnot_si256(_mm256_or_si256(unchanged, black), hard);
  const int hardPixels = _mm256_movemask_ps(_mm256_castsi256_ps(hard));
  std::uint8_t input[24];
  if (hardPixels != 0) std::memcpy(input, v, sizeof(input));

  __m256i bytes = _mm256_shuffle_epi8(vin, s.tail);
  for (int b = 0; b < 3; ++b) {
    __m256i value = _mm256_blendv_epi8(out[b], vraw[b], unchanged);
    value = _mm256_andnot_si256(black, value);
    bytes = _mm256_or_si256(bytes, _mm256_shuffle_epi8(value, s.put[b]));
  }
  // The low half first: the high half's store then puts pixels 4 and 5
  // over the bytes the low half carried along unchanged.
  _mm_storeu_si128(reinterpret_cast<__m128i*>(v), _mm256_castsi256_si128(bytes));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(v + 12), _mm256_extracti128_si256(bytes, 1));
  for (int k = 0; k < 8; ++k) {
    if ((hardPixels >> k & 1) == 0) continue;
    std::memcpy(v + 3 * k, input + 3 * k, 3);
    RestoreRowOneByOne(v + 3 * k, o + 3 * k, 1);
  }
}

__attribute__((target("avx2"))) void RestoreRowAvx2(std::uint8_t* v, const std::uint8_t* o,
                                                     std::int32_t width) {
  // Built once: a pass calls this for every row.
  static const Shuffles s = MakeShuffles();
  std::int32_t x = 0;
  // The second load of a group reads 28 bytes from its start.
  for (; 3 * x + 28 <= 3 * width; x += 8, v += 24, o += 24) RestoreEight(v, o, s);
  RestoreRowOneByOne(v, o, width - x);
}

bool ProcessorHasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

}  // namespace

bool RestoreRowInEights(std::uint8_t* v, const std::uint8_t* o, std::int32_t width) {
  if (!ProcessorHasAvx2()) return false;
  RestoreRowAvx2(v, o, width);
  return true;
}

#else

bool RestoreRowInEights(std::uint8_t*, const std::uint8_t*, std::int32_t) { return false; }

#endif

namespace {

std::atomic<int> oneByOneHolders{0};

}  // namespace

ScopedOneByOneRestore::ScopedOneByOneRestore() { ++oneByOneHolders; }
ScopedOneByOneRestore::~ScopedOneByOneRestore() { --oneByOneHolders; }

void RestoreRow(std::uint8_t* v, const std::uint8_t* o, std::int32_t width) {
  const bool wideAllowed = oneByOneHolders.load(std::memory_order_relaxed) == 0;
  if (wideAllowed && RestoreRowInEights(v, o, width)) return;
  RestoreRowOneByOne(v, o, width);
}

}  // namespace tavren
