// The colour-proportion restoration, pixel by pixel and eight or sixteen
// pixels at a time.
//
// Eight (AVX2) or sixteen (AVX-512) pixels at a time, in 32-bit lanes, one
// lane per pixel:
//   - a pixel that did not change stays as it is, and an original of black
//     gives black;
//   - a bright original value (over 230) knocked down to 0 counts as 255;
//   - each channel becomes Round(oc x sv / so) with sv and so the sums of
//     the new and the original values.
// Pixels whose brightest channel would pass 255 take 255 x oc by that
// channel instead (see RestorePixelRatios); either way the value is q / d
// rounded, with q = oc x sv below 2^18 (or 255 x oc) and d at most 765, and
// q / d is at most 255.  The quotient is estimated in single precision as
// q times the reciprocal of d: q and d are exact in a float, and the two
// roundings keep the estimate within 255 x 2^-23 (3.1e-5) of q / d, while a
// q / d that is not a half lies at least 1 / (2 d) >= 6.5e-4 from every
// half.  So the estimate rounded to nearest is q / d rounded, and it lies
// within kNearHalf of a half exactly when q / d is one; a check of every
// q / d <= 255 with every d found both.  One division per eight (or
// sixteen) pixels instead of three: the divider was the bottleneck.  Exact
// halves are left to the pixel-by-pixel path, which takes the extended
// computation for them.
#include "lumora/restore_rows.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "imaging/numeric.h"
#include "imaging/thread_pool.h"
#include "imaging/wide_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TAVREN_RESTORE_IN_EIGHTS 1
#endif

namespace tavren {

namespace {

// Divides all three values by n[c] / 255 when n[c] exceeds 255; the divisor
// is taken once, before any of the three divisions.
void BringDownTo255(Extended n[3], int c) {
  if (n[c] > 255) {
    const Extended divisor = n[c] / 255;
    n[0] = n[0] / divisor;
    n[1] = n[1] / divisor;
    n[2] = n[2] / divisor;
  }
}

}  // namespace

void RestorePixelRatiosExtended(const int vc[3], const int oc[3], int out[3]) {
  const Extended w = SafeDiv(vc[0] + vc[1] + vc[2], oc[0] + oc[1] + oc[2], 0);
  Extended n[3];
  for (int c = 0; c < 3; ++c) n[c] = oc[c] * w;
  for (int c = 0; c < 3; ++c) BringDownTo255(n, c);
  for (int c = 0; c < 3; ++c)
    out[c] = static_cast<int>(std::clamp<std::int64_t>(Round(n[c]), 0, 255));
}

namespace {

// Division by a sum of three channel values, 1..765, as a multiplication:
// with m = floor(2^40 / d) + 1, q x m / 2^40 exceeds q / d by less than
// q / 2^40 < 2^-22, while q / d lies at least 1 / d >= 1/765 below the next
// whole number; so the product's whole part is q / d exactly for every
// q < 2^18 (a test checks every such pair).  Integer division cost more
// than the rest of a pixel's work here.
constexpr int kReciprocalShift = 40;
constexpr int kLargestSum = 3 * 255;

struct SumReciprocals {
  std::uint64_t M[kLargestSum + 1] = {};
  constexpr SumReciprocals() {
    for (int d = 1; d <= kLargestSum; ++d) M[d] = ((std::uint64_t{1} << kReciprocalShift) / d) + 1;
  }
};
constexpr SumReciprocals kSumReciprocals;

}  // namespace

int DivideBySum(int q, int sum) {
  return static_cast<int>((static_cast<std::uint64_t>(q) * kSumReciprocals.M[sum]) >>
                          kReciprocalShift);
}

// The same in whole numbers.  Each value is oc x sv / so exactly; the
// extended computation is within 255 x 2^-63 of it, while a value that is
// not a half lies at least 1 / (2 so) from the nearest half, so rounding
// either gives the same whole number.  When the brightest channel would
// pass 255, the extended path scales all three down until it is 255,
// whatever the order of the channels: each value is then 255 x oc / omax,
// which lies at least 1 / (2 omax) from a half unless it is one.  Exact
// halves take the extended path itself.  Every q here is at most
// 255 x 765 < 2^18; a check of every original with every sum at which its
// brightest channel reaches 255 found the bytes of the extended path.
void RestorePixelRatios(const int vc[3], const int oc[3], int out[3]) {
  const int sv = vc[0] + vc[1] + vc[2];
  const int so = oc[0] + oc[1] + oc[2];
  if (so == 0) {
    out[0] = out[1] = out[2] = 0;
    return;
  }
  const int brightest = std::max(oc[0], std::max(oc[1], oc[2]));
  const bool scaledDown = brightest * sv > 255 * so;
  const int divisor = scaledDown ? brightest : so;
  for (int c = 0; c < 3; ++c) {
    const int q = oc[c] * (scaledDown ? 255 : sv);
    const int quotient = DivideBySum(q, divisor);
    const int twiceRest = 2 * (q - quotient * divisor);
    if (twiceRest == divisor) {
      RestorePixelRatiosExtended(vc, oc, out);
      return;
    }
    out[c] = quotient + (twiceRest > divisor ? 1 : 0);
  }
}

namespace {

// Gives one pixel the colour proportions of its original.
inline void RestorePixel(std::uint8_t* v, const std::uint8_t* o) {
  // An untouched pixel would come back as it is.
  if (v[0] == o[0] && v[1] == o[1] && v[2] == o[2]) return;
  int vc[3], oc[3];
  for (int c = 0; c < 3; ++c) {
    oc[c] = o[kByteOfChannel[c]];
    vc[c] = v[kByteOfChannel[c]];
    // A bright value knocked down to 0 counts as fully bright.
    if (oc[c] > 230 && vc[c] == 0) vc[c] = 255;
  }
  int out[3];
  RestorePixelRatios(vc, oc, out);
  for (int c = 0; c < 3; ++c) v[kByteOfChannel[c]] = static_cast<std::uint8_t>(out[c]);
}

}  // namespace

void RestoreRowOneByOne(std::uint8_t* v, const std::uint8_t* o, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x, v += 3, o += 3) RestorePixel(v, o);
}

void RestoreColorRatioRows(Image& image, const Image& orig, std::int32_t rowBegin,
                           std::int32_t rowEnd) {
  for (std::int32_t y = rowBegin; y < rowEnd; ++y)
    RestoreRow(image.Row(y), orig.Row(y), image.Width());
}

void RestoreColorRatios(Image& image, const Image& orig) {
  ForEachRowBand(image.Height(), [&](int, std::int32_t first, std::int32_t end) {
    RestoreColorRatioRows(image, orig, first, end);
  });
}

#if TAVREN_RESTORE_IN_EIGHTS

namespace {

constexpr std::int8_t kNone = -128;  // a shuffle index that gives 0

// How far from a whole number an estimate may lie and still not be taken
// for a half: between the estimate's error and a non-half's distance from
// a half (see the top of the file).
constexpr float kNearHalf = 0.5f - 1.0f / 4096;

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
  __m256i Pick[3];
  __m256i Put[3];
  __m256i Tail;
};

__attribute__((target("avx2"))) Shuffles MakeShuffles() {
  Shuffles made;
  for (int b = 0; b < 3; ++b) {
    made.Pick[b] = ChannelPick(b);
    made.Put[b] = ChannelPut(b);
  }
  made.Tail = TailKeep();
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
    oc[b] = _mm256_shuffle_epi8(oin, s.Pick[b]);
    vraw[b] = _mm256_shuffle_epi8(vin, s.Pick[b]);
    unchanged = _mm256_and_si256(unchanged, _mm256_cmpeq_epi32(vraw[b], oc[b]));
    const __m256i knockedDown = _mm256_and_si256(_mm256_cmpgt_epi32(oc[b], _mm256_set1_epi32(230)),
                                                 _mm256_cmpeq_epi32(vraw[b], zero));
    vc[b] = _mm256_blendv_epi8(vraw[b], full, knockedDown);
  }
  const __m256i sv = _mm256_add_epi32(vc[0], _mm256_add_epi32(vc[1], vc[2]));
  const __m256i so = _mm256_add_epi32(oc[0], _mm256_add_epi32(oc[1], oc[2]));
  const __m256i black = _mm256_cmpeq_epi32(so, zero);
  // Where the brightest channel would pass 255, each value is
  // 255 x oc / brightest instead of oc x sv / so.
  const __m256i brightest = _mm256_max_epi32(oc[0], _mm256_max_epi32(oc[1], oc[2]));
  const __m256i scaledDown =
      _mm256_cmpgt_epi32(_mm256_mullo_epi32(brightest, sv), _mm256_mullo_epi32(so, full));
  const __m256i factor = _mm256_blendv_epi8(sv, full, scaledDown);
  const __m256i divisor = _mm256_blendv_epi8(so, brightest, scaledDown);
  const __m256 reciprocal = _mm256_div_ps(
      _mm256_set1_ps(1.0f), _mm256_cvtepi32_ps(_mm256_max_epi32(divisor, _mm256_set1_epi32(1))));
  const __m256 nearHalf = _mm256_set1_ps(kNearHalf);
  const __m256 noSign = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
  __m256i out[3];
  __m256i hard = zero;
  for (int b = 0; b < 3; ++b) {
    const __m256i q = _mm256_mullo_epi32(oc[b], factor);
    const __m256 estimate = _mm256_mul_ps(_mm256_cvtepi32_ps(q), reciprocal);
    const __m256 rounded = _mm256_round_ps(estimate, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m256 offset = _mm256_and_ps(_mm256_sub_ps(estimate, rounded), noSign);
    hard = _mm256_or_si256(hard, _mm256_castps_si256(_mm256_cmp_ps(offset, nearHalf, _CMP_GT_OQ)));
    out[b] = _mm256_cvtps_epi32(rounded);
  }
  hard = _mm256_andnot_si256(_mm256_or_si256(unchanged, black), hard);
  const int hardPixels = _mm256_movemask_ps(_mm256_castsi256_ps(hard));
  std::uint8_t input[24];
  if (hardPixels != 0) std::memcpy(input, v, sizeof(input));

  __m256i bytes = _mm256_shuffle_epi8(vin, s.Tail);
  for (int b = 0; b < 3; ++b) {
    __m256i value = _mm256_blendv_epi8(out[b], vraw[b], unchanged);
    value = _mm256_andnot_si256(black, value);
    bytes = _mm256_or_si256(bytes, _mm256_shuffle_epi8(value, s.Put[b]));
  }
  // The low half first: the high half's store then puts pixels 4 and 5
  // over the bytes the low half carried along unchanged.
  _mm_storeu_si128(reinterpret_cast<__m128i*>(v), _mm256_castsi256_si128(bytes));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(v + 12), _mm256_extracti128_si256(bytes, 1));
  for (unsigned left = static_cast<unsigned>(hardPixels); left != 0; left &= left - 1) {
    const int k = std::countr_zero(left);
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

#define TAVREN_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// GCC 12's AVX-512 intrinsics hand their builtins a deliberately undefined
// value for the lanes their mask never picks, which -Wuninitialized then
// reports wherever they are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// Byte i of 64: for i < 48, byte i % 3 of pixel i / 3 in 32-bit lane
// i / 3, which is where the pixels' lanes put it back from.
TAVREN_TARGET_AVX512 __m512i LanesToPixels() {
  alignas(64) std::int8_t index[64] = {};
  for (int i = 0; i < 48; ++i) index[i] = static_cast<std::int8_t>(4 * (i / 3) + i % 3);
  return _mm512_load_si512(index);
}

// Byte 3k + b of the pixels to the low byte of 32-bit lane k.
TAVREN_TARGET_AVX512 __m512i PixelsToLanes(int b) {
  alignas(64) std::int8_t index[64] = {};
  for (int k = 0; k < 16; ++k) index[4 * k] = static_cast<std::int8_t>(3 * k + b);
  return _mm512_load_si512(index);
}

struct LaneShuffles {
  __m512i Pick[3];
  __m512i Put;
};

// Restores `count` pixels, 1 to 16, in one go: the loads and the store
// touch the pixels' bytes only.  Pixels that need the pixel-by-pixel path
// get their input back and go that way.
TAVREN_TARGET_AVX512 void RestoreSixteen(std::uint8_t* v, const std::uint8_t* o, int count,
                                         const LaneShuffles& s) {
  const __mmask64 bytes = ~std::uint64_t{0} >> (64 - 3 * count);
  const __mmask16 lanes = static_cast<__mmask16>((1u << count) - 1);
  const __mmask64 lowBytes = 0x1111111111111111;
  const __m512i vin = _mm512_maskz_loadu_epi8(bytes, v);
  const __m512i oin = _mm512_maskz_loadu_epi8(bytes, o);
  const __m512i zero = _mm512_setzero_si512();
  const __m512i one = _mm512_set1_epi32(1);
  const __m512i full = _mm512_set1_epi32(255);
  __m512i oc[3], vc[3], vraw[3];
  __mmask16 unchanged = lanes;
  for (int b = 0; b < 3; ++b) {
    oc[b] = _mm512_maskz_permutexvar_epi8(lowBytes, s.Pick[b], oin);
    vraw[b] = _mm512_maskz_permutexvar_epi8(lowBytes, s.Pick[b], vin);
    unchanged &= _mm512_cmpeq_epi32_mask(vraw[b], oc[b]);
    const __mmask16 knockedDown = _mm512_cmpgt_epi32_mask(oc[b], _mm512_set1_epi32(230)) &
                                  _mm512_cmpeq_epi32_mask(vraw[b], zero);
    vc[b] = _mm512_mask_mov_epi32(vraw[b], knockedDown, full);
  }
  const __m512i sv = _mm512_add_epi32(vc[0], _mm512_add_epi32(vc[1], vc[2]));
  const __m512i so = _mm512_add_epi32(oc[0], _mm512_add_epi32(oc[1], oc[2]));
  const __mmask16 black = _mm512_cmpeq_epi32_mask(so, zero);
  const __m512i brightest = _mm512_max_epi32(oc[0], _mm512_max_epi32(oc[1], oc[2]));
  const __mmask16 scaledDown =
      _mm512_cmpgt_epi32_mask(_mm512_mullo_epi32(brightest, sv), _mm512_mullo_epi32(so, full));
  const __m512i factor = _mm512_mask_mov_epi32(sv, scaledDown, full);
  const __m512i divisor = _mm512_mask_mov_epi32(so, scaledDown, brightest);
  const __m512 reciprocal =
      _mm512_div_ps(_mm512_set1_ps(1.0f), _mm512_cvtepi32_ps(_mm512_max_epi32(divisor, one)));
  const __m512 nearHalf = _mm512_set1_ps(kNearHalf);
  __m512i packed = zero;
  __mmask16 hard = 0;
  for (int b = 0; b < 3; ++b) {
    const __m512i q = _mm512_mullo_epi32(oc[b], factor);
    const __m512 estimate = _mm512_mul_ps(_mm512_cvtepi32_ps(q), reciprocal);
    const __m512i nearest =
        _mm512_cvt_roundps_epi32(estimate, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m512 offset = _mm512_abs_ps(_mm512_sub_ps(estimate, _mm512_cvtepi32_ps(nearest)));
    hard |= _mm512_cmp_ps_mask(offset, nearHalf, _CMP_GT_OQ);
    __m512i value = _mm512_mask_mov_epi32(nearest, unchanged, vraw[b]);
    value = _mm512_maskz_mov_epi32(static_cast<__mmask16>(~black), value);
    packed = _mm512_or_si512(packed, _mm512_slli_epi32(value, 8 * b));
  }
  hard &= static_cast<__mmask16>(lanes & ~(unchanged | black));
  std::uint8_t input[48];
  if (hard != 0) _mm512_mask_storeu_epi8(input, bytes, vin);
  _mm512_mask_storeu_epi8(v, bytes, _mm512_permutexvar_epi8(s.Put, packed));
  for (unsigned left = hard; left != 0; left &= left - 1) {
    const int k = std::countr_zero(left);
    std::memcpy(v + 3 * k, input + 3 * k, 3);
    RestoreRowOneByOne(v + 3 * k, o + 3 * k, 1);
  }
}

TAVREN_TARGET_AVX512 void RestoreRowAvx512(std::uint8_t* v, const std::uint8_t* o,
                                           std::int32_t width) {
  static const LaneShuffles s = {{PixelsToLanes(0), PixelsToLanes(1), PixelsToLanes(2)},
                                 LanesToPixels()};
  std::int32_t x = 0;
  for (; x + 16 <= width; x += 16, v += 48, o += 48) RestoreSixteen(v, o, 16, s);
  if (x < width) RestoreSixteen(v, o, width - x, s);
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace

bool RestoreRowInSixteens(std::uint8_t* v, const std::uint8_t* o, std::int32_t width) {
  if (!ProcessorHasAvx512Vbmi()) return false;
  RestoreRowAvx512(v, o, width);
  return true;
}

bool RestoreRowInEights(std::uint8_t* v, const std::uint8_t* o, std::int32_t width) {
  if (!ProcessorHasAvx2()) return false;
  RestoreRowAvx2(v, o, width);
  return true;
}

#else

bool RestoreRowInEights(std::uint8_t*, const std::uint8_t*, std::int32_t) { return false; }
bool RestoreRowInSixteens(std::uint8_t*, const std::uint8_t*, std::int32_t) { return false; }

#endif

void RestoreRow(std::uint8_t* v, const std::uint8_t* o, std::int32_t width) {
  if (WideKernelsAllowed() &&
      (RestoreRowInSixteens(v, o, width) || RestoreRowInEights(v, o, width)))
    return;
  RestoreRowOneByOne(v, o, width);
}

}  // namespace tavren
