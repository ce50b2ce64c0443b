// The change limits of a pass, and the sweep that applies them and restores
// the colour proportions in one go.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/numeric.h"
#include "imaging/thread_pool.h"
#include "lumora/limits.h"
#include "lumora/restore_rows.h"

namespace tavren {

namespace {

std::uint8_t MoveTowards(std::uint8_t value, std::uint8_t orig, std::uint8_t by) {
  return static_cast<std::uint8_t>(value > orig ? value - by : value + by);
}

// Round(change / top x (top - limit)) for every change 0..top: scales the
// largest change down to the limit and the others in proportion.
std::array<std::uint8_t, 256> CutTable(std::int32_t top, std::int32_t limit) {
  std::array<std::uint8_t, 256> cut{};
  for (int change = 0; change <= top && change < 256; ++change) {
    const Extended r = static_cast<Extended>(change) / top * (top - limit);
    cut[change] = static_cast<std::uint8_t>(Round(r));
  }
  return cut;
}

}  // namespace

void TChangeTops::Merge(const TChangeTops& other) {
  for (int c = 0; c < 3; ++c) {
    General[c] = std::max(General[c], other.General[c]);
    Local[c] = std::max(Local[c], other.Local[c]);
  }
}

namespace {

// The running maxima of one scan, per pixel byte (0 blue, 1 green, 2 red).
struct TChangeMaxima {
  int General[3] = {0, 0, 0};
  int Local[3] = {0, 0, 0};

  void AddPixel(const std::uint8_t* v, const std::uint8_t* o) {
    const int d[3] = {std::abs(v[0] - o[0]), std::abs(v[1] - o[1]), std::abs(v[2] - o[2])};
    const int m = std::min(d[0], std::min(d[1], d[2]));
    for (int b = 0; b < 3; ++b) {
      General[b] = std::max(General[b], d[b]);
      Local[b] = std::max(Local[b], d[b] - m);
    }
  }
};

#if defined(__SSE2__)
// Five pixels at a time: sixteen bytes loaded every fifteen, so byte lane
// l always holds pixel byte l mod 3; lane 15 (the next group's first byte)
// only counts towards the general maxima, where counting a byte twice
// changes nothing.  Returns the pixels left for the plain loop.
std::int32_t AddRowInFives(const std::uint8_t* v, const std::uint8_t* o, std::int32_t width,
                           __m128i& general, __m128i& local) {
  const __m128i laneOfPixel[3] = {
      _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0),
      _mm_setr_epi8(0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0),
      _mm_setr_epi8(0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0)};
  std::int32_t x = 0;
  // The sixteenth byte must lie within the row.
  for (; 3 * x + 16 <= 3 * width; x += 5, v += 15, o += 15) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(o));
    const __m128i d = _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
    // The pixel's smallest change lands on its first lane, then is moved
    // under its second and third.
    const __m128i m = _mm_min_epu8(d, _mm_min_epu8(_mm_srli_si128(d, 1), _mm_srli_si128(d, 2)));
    const __m128i mSecond = _mm_slli_si128(m, 1);
    const __m128i mThird = _mm_slli_si128(m, 2);
    const __m128i excess =
        _mm_or_si128(_mm_and_si128(_mm_subs_epu8(d, m), laneOfPixel[0]),
                     _mm_or_si128(_mm_and_si128(_mm_subs_epu8(d, mSecond), laneOfPixel[1]),
                                  _mm_and_si128(_mm_subs_epu8(d, mThird), laneOfPixel[2])));
    general = _mm_max_epu8(general, d);
    local = _mm_max_epu8(local, excess);
  }
  return x;
}

void FoldLanes(const __m128i& lanes, int maxima[3]) {
  alignas(16) std::uint8_t bytes[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(bytes), lanes);
  for (int l = 0; l < 16; ++l) maxima[l % 3] = std::max<int>(maxima[l % 3], bytes[l]);
}
#endif

}  // namespace

// Only the top of each difference histogram matters, which is the largest
// value it counts; so the scan keeps the maxima instead of the histograms.
TChangeTops MeasureChanges(const Image& image, const Image& orig, std::int32_t rowBegin,
                           std::int32_t rowEnd) {
  TChangeMaxima maxima;
  const std::int32_t width = image.Width();
#if defined(__SSE2__)
  __m128i general = _mm_setzero_si128(), local = _mm_setzero_si128();
#endif
  for (std::int32_t y = rowBegin; y < rowEnd; ++y) {
    const std::uint8_t* v = image.Row(y);
    const std::uint8_t* o = orig.Row(y);
    std::int32_t x = 0;
#if defined(__SSE2__)
    x = AddRowInFives(v, o, width, general, local);
#endif
    for (; x < width; ++x) maxima.AddPixel(v + 3 * x, o + 3 * x);
  }
#if defined(__SSE2__)
  FoldLanes(general, maxima.General);
  FoldLanes(local, maxima.Local);
#endif
  TChangeTops tops;
  tops.General = {maxima.General[2], maxima.General[1], maxima.General[0]};
  tops.Local = {maxima.Local[2], maxima.Local[1], maxima.Local[0]};
  return tops;
}

// A limit below 0 would push values past their original and out of 0..255;
// it is treated as 0 (every change undone).  A channel whose top does not
// exceed a limit keeps a table of zeros for it: nothing moves.
TChangeCuts PlanChangeCuts(const TChangeTops& tops, std::int32_t localLimit,
                           std::int32_t generalLimit) {
  localLimit = std::max(localLimit, 0);
  generalLimit = std::max(generalLimit, 0);
  TChangeCuts cuts;
  for (int c = 0; c < 3; ++c) {
    if (localLimit < tops.Local[c]) cuts.Local[c] = CutTable(tops.Local[c], localLimit);
    if (generalLimit < tops.General[c]) cuts.General[c] = CutTable(tops.General[c], generalLimit);
  }
  const auto nonZero = [](const std::array<std::uint8_t, 256>& table) {
    return std::any_of(table.begin(), table.end(), [](std::uint8_t cut) { return cut != 0; });
  };
  cuts.Any = std::any_of(cuts.Local.begin(), cuts.Local.end(), nonZero) ||
             std::any_of(cuts.General.begin(), cuts.General.end(), nonZero);
  return cuts;
}

namespace {

// Pulls one pixel's values back towards its original: first the local
// limit, by how much more each channel changed than the least changed one
// (taken before any channel moves), then the general limit.
inline void CutPixel(std::uint8_t* v, const std::uint8_t* o, const TChangeCuts& cuts) {
  const int blue = std::abs(v[0] - o[0]);
  const int green = std::abs(v[1] - o[1]);
  const int red = std::abs(v[2] - o[2]);
  const int m = std::min(red, std::min(green, blue));
  v[2] = MoveTowards(v[2], o[2], cuts.Local[0][red - m]);
  v[1] = MoveTowards(v[1], o[1], cuts.Local[1][green - m]);
  v[0] = MoveTowards(v[0], o[0], cuts.Local[2][blue - m]);
  v[2] = MoveTowards(v[2], o[2], cuts.General[0][std::abs(v[2] - o[2])]);
  v[1] = MoveTowards(v[1], o[1], cuts.General[1][std::abs(v[1] - o[1])]);
  v[0] = MoveTowards(v[0], o[0], cuts.General[2][std::abs(v[0] - o[0])]);
}

void CutRow(std::uint8_t* v, const std::uint8_t* o, const TChangeCuts& cuts, std::int32_t width) {
  if (!cuts.Any) return;
  for (std::int32_t x = 0; x < width; ++x, v += 3, o += 3) CutPixel(v, o, cuts);
}

}  // namespace

void ApplyChangeCuts(Image& image, const Image& orig, const TChangeCuts& cuts,
                     std::int32_t rowBegin, std::int32_t rowEnd) {
  for (std::int32_t y = rowBegin; y < rowEnd; ++y)
    CutRow(image.Row(y), orig.Row(y), cuts, image.Width());
}

// The tops of the changes in bands over the band pool; they are maxima, so
// merging the bands' tops gives the picture's whatever the split.
static TChangeTops MeasureChangesInBands(const Image& image, const Image& orig,
                                         const RowBands& bands) {
  std::vector<TChangeTops> bandTops(static_cast<std::size_t>(bands.Count()));
  RunBands(bands, [&](int b, std::int32_t first, std::int32_t end) {
    bandTops[static_cast<std::size_t>(b)] = MeasureChanges(image, orig, first, end);
  });
  TChangeTops tops;
  for (const TChangeTops& band : bandTops) tops.Merge(band);
  return tops;
}

void LimitChanges(Image& image, const Image& orig, std::int32_t localLimit,
                  std::int32_t generalLimit) {
  const RowBands bands = PictureBands(image.Height());
  const TChangeCuts cuts =
      PlanChangeCuts(MeasureChangesInBands(image, orig, bands), localLimit, generalLimit);
  RunBands(bands, [&](int, std::int32_t first, std::int32_t end) {
    ApplyChangeCuts(image, orig, cuts, first, end);
  });
}

// Each pixel's cut and restoration depend on that pixel alone, so once the
// tops are known both are done in one sweep over the rows.  A row is worked
// on in a copy at hand and then written over the picture's row, which it
// no longer needs: the remapped picture is only read.
void LimitChangesAndRestoreOver(Image& picture, const Image& remapped, const TChangeTops& tops,
                                std::int32_t localLimit, std::int32_t generalLimit,
                                const RowBands& bands, TCensusAlong* along) {
  const TChangeCuts cuts = PlanChangeCuts(tops, localLimit, generalLimit);
  const std::int32_t width = picture.Width();
  RunBands(bands, [&](int b, std::int32_t first, std::int32_t end) {
    std::vector<std::uint8_t> row(picture.Stride());
    for (std::int32_t y = first; y < end; ++y) {
      std::memcpy(row.data(), remapped.Row(y), row.size());
      CutRow(row.data(), picture.Row(y), cuts, width);
      RestoreRow(row.data(), picture.Row(y), width);
      std::memcpy(picture.Row(y), row.data(), row.size());
      if (along != nullptr) along->Row(b, picture, y);
    }
  });
}

}  // namespace tavren
