// Spike clipping: find by bisection a count that about ten levels reach,
// look at the spacing of the highest distinct counts among them, and cut
// every count above a level derived from that spacing.
#include <algorithm>
#include <vector>

#include "histogram/hist.h"
#include "imaging/numeric.h"

namespace tavren {

namespace {

constexpr int kTargetLevels = 10;
constexpr int kMinLevels = 5;

struct ThresholdSearch {
  std::int64_t T = 0;
  int Count = 0;
  // The lowest and highest level that reached T in the last round.
  int First = 0;
  int Last = -1;
};

// Bisection on the count.  The range scanned narrows to the levels that
// reached T only when more than ten did, so later rounds look at the
// region of the tallest levels.
ThresholdSearch FindThreshold(const THistogram& h) {
  std::int64_t lo = 0;
  std::int64_t hi = 0;
  for (int i = h.Low; i <= h.High; ++i) hi = std::max<std::int64_t>(hi, h[i]);
  int rangeFirst = h.Low;
  int rangeLast = h.High;
  ThresholdSearch s;
  do {
    s.T = lo + Round((hi - lo) / 2.0L);
    s.Count = 0;
    for (int i = rangeFirst; i <= rangeLast; ++i) {
      if (h[i] < s.T) continue;
      if (s.Count == 0) s.First = i;
      s.Last = i;
      ++s.Count;
    }
    if (s.Count == kTargetLevels) break;
    if (s.Count > kTargetLevels) {
      lo = s.T;
      rangeFirst = s.First;
      rangeLast = s.Last;
    } else {
      hi = s.T;
    }
  } while (hi - lo >= 2);
  return s;
}

// The cut level from the heights P1..Pm of the levels that reached T.
std::int64_t CutLevel(const std::vector<std::int64_t>& p) {
  const int m = static_cast<int>(p.size());
  const std::int64_t minP = *std::min_element(p.begin(), p.end());
  std::vector<std::int64_t> distinct(p);
  std::sort(distinct.begin(), distinct.end(), std::greater<>());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  auto max = [&](std::size_t k) { return k < distinct.size() ? distinct[k] : 0; };
  const std::int64_t max1 = max(0), max2 = max(1), max3 = max(2), max4 = max(3);

  const double step = static_cast<double>(static_cast<Extended>(max4 - minP) / (m - 4));
  const std::int64_t spacing = Round(2 * static_cast<Extended>(step));
  std::int64_t l;
  if (max4 < minP) {
    l = max1;  // fewer than four distinct heights
  } else {
    l = max4 + spacing;
    if (l >= max1) l = max1;
    if (max3 <= l && l <= max2) {
      l = max3 + spacing;
      if (l >= max1) l = max1;
      if (l < max2) l = max3;
    }
    if (max2 < l && l < max1) {
      l = max2 + spacing;
      l = l >= max1 ? max1 : max2;
    }
  }
  return Round(l * 1.05L);
}

}  // namespace

void THist::ClipSpikes(THistogram& h) const {
  if (h.High - h.Low + 1 <= kTargetLevels) return;
  const ThresholdSearch s = FindThreshold(h);
  if (s.Count < kMinLevels) return;

  std::vector<std::int64_t> p;
  for (int i = s.First; i <= s.Last && static_cast<int>(p.size()) < kTargetLevels; ++i)
    if (h[i] >= s.T) p.push_back(h[i]);
  const std::int64_t cut = CutLevel(p);

  for (int i = s.First; i <= s.Last; ++i)
    if (h[i] > cut) h[i] = static_cast<std::int32_t>(cut);
}

}  // namespace tavren
