// Bin tests, spike removal and the widths of the protected zones of a
// channel histogram.
#include <algorithm>
#include <cmath>

#include "histogram/hist.h"
#include "imaging/numeric.h"

namespace tavren {

namespace {

// A pile-up large enough to be a spike holds at least 0.05 % of the pixels.
bool HoldsSpikeShare(std::int32_t count, std::int32_t n) { return count >= n * 0.05L / 100; }

// Bins outside the array read as 0.
std::int64_t BinOrZero(const THistogram& h, std::int64_t level) {
  return level < 0 || level >= kHistBins ? 0 : h[static_cast<int>(level)];
}

}  // namespace

bool THist::IsLocalMaximum(const THistogram& h, int level) const {
  for (int j = level - 2; j <= level + 2; ++j) {
    if (j == level || j < h.Low || j > h.High) continue;
    if (h[j] >= h[level]) return false;
  }
  return true;
}

bool THist::IsSpike(const THistogram& h, int level, std::int32_t n, std::int32_t& mean) const {
  std::int64_t sum = 0;
  int count = 0;
  for (int j = level - 2; j <= level + 2; ++j) {
    if (j == level || j < h.Low || j > h.High) continue;
    sum += h[j];
    ++count;
  }
  mean = count == 0 ? 0 : static_cast<std::int32_t>(Round(static_cast<Extended>(sum) / count));
  if (level == h.Low || level == h.High || mean == 0) return HoldsSpikeShare(h[level], n);
  return static_cast<Extended>(h[level]) / mean > 1.7L && HoldsSpikeShare(h[level], n);
}

void THist::RemoveSpikes(THistogram& h, std::int32_t n) const {
  if (!h.Ready) return;
  for (int i = h.Low; i <= h.High; ++i) {
    std::int32_t mean = 0;
    if (IsSpike(h, i, n, mean)) h[i] = mean;
  }
}

std::int32_t AdjustEdgeWidth(std::int64_t width, std::int32_t adjust) {
  if (width == 0) return 0;
  Extended e = adjust;
  // A positive adjustment adds about 0.3 x E levels whatever the width; a
  // negative one narrows the zone in proportion.
  if (adjust > 0) e = Round(static_cast<Extended>(static_cast<std::int64_t>(adjust) * 30) / width);
  return static_cast<std::int32_t>(Round((e / 100 + 1) * width));
}

std::int32_t THist::EdgeWidth(const THistogram& h, TEnd end, std::int32_t n,
                              std::int32_t adjust) const {
  const int e = end == TEnd::Dark ? h.Low : h.High;
  const int inward = end == TEnd::Dark ? 1 : -1;
  auto at = [&](int k) -> std::int64_t { return BinOrZero(h, e + inward * k); };
  auto sum = [&](int from, int to) {
    std::int64_t s = 0;
    for (int k = from; k <= to; ++k) s += at(k);
    return s;
  };

  std::int32_t mean = 0;
  if (!IsSpike(h, e, n, mean)) return 0;
  // The shoulder next to the end: as long as it stays below the end bin and
  // is at least 1.4 times as dense as what follows it.
  std::int64_t w = 0;
  for (int r = 1; r <= 30; ++r) {
    if (at(r) >= at(0)) break;
    w = r;
    const std::int64_t a = sum(r - 1, r + 4);
    const std::int64_t b = sum(r + 1, r + 18);
    if (3 * SafeDiv(a, b, 0) < 1.4L) break;
  }
  const std::int64_t s = sum(1, static_cast<int>(w));
  if (s > 0) {
    const Extended x = static_cast<Extended>(at(0)) / s;
    w = w + Trunc(2 * std::sqrt(x) - 0.3L * (x - 1) - 1);
  }
  w = w + 9;
  return AdjustEdgeWidth(w, adjust);
}

std::int32_t THist::PeakHalfWidth(const THistogram& h, int c, TSide side) const {
  const int s = side == TSide::Left ? -1 : 1;
  auto inRange = [&](int level) { return level >= h.Low && level <= h.High; };
  auto sum = [&](int from, int to) {  // bins c + s*from .. c + s*to
    std::int64_t total = 0;
    for (int k = from; k <= to; ++k) total += BinOrZero(h, c + s * k);
    return total;
  };
  if (!inRange(c + s)) return 0;
  int w = 1;
  int result = 0;
  while (w <= 50) {
    if (h[c + s * w] >= h[c]) break;
    result = w;
    const std::int64_t a = sum(w - 1, w + 4);
    const std::int64_t b = sum(w + 1, w + 28);
    if (SafeDiv(a, b, 0) * 14 / 3 < 1.3L) break;
    ++w;
    if (!inRange(c + s * w)) break;
    if (SafeDiv(h[c + s * w], h[c], 0) < 0.05L) {
      result = w;
      break;
    }
  }
  return side == TSide::Left ? c - std::max(c - result, h.Low) : std::min(c + result, h.High) - c;
}

}  // namespace tavren
