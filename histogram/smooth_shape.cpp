// Shape smoothing: turns a spike-free histogram into a smooth distribution
// with the same total.  The sparse tails are cut, a dense end is continued
// beyond the range so that the moving average does not sag there, and a
// fixed number of moving-average passes follow, whose window narrows
// towards a cut tail and freezes the levels next to it.
#include <algorithm>
#include <cmath>
#include <vector>

#include "histogram/hist.h"
#include "imaging/numeric.h"

namespace tavren {

namespace {

// Counts over the levels low - margin .. high + margin; the levels beyond
// the histogram's ends hold the virtual bins.
class ExtendedBins {
 public:
  ExtendedBins(int low, int high, int margin)
      : low_(low), margin_(margin), bins_(static_cast<std::size_t>(high - low + 1 + 2 * margin)) {}
  std::int64_t& operator[](int level) { return bins_[level - low_ + margin_]; }

 private:
  int low_;
  int margin_;
  std::vector<std::int64_t> bins_;
};

std::int64_t Total(const THistogram& h) {
  std::int64_t sum = 0;
  for (int i = h.Low; i <= h.High; ++i) sum += h[i];
  return sum;
}

std::int64_t SumOf(const THistogram& h, int from, int to) {
  std::int64_t sum = 0;
  for (int i = from; i <= to; ++i) sum += h[i];
  return sum;
}

struct EndWindows {
  int H1;
  int H2;
};

// Continues a dense end outward.  `outward` is -1 at the dark end, +1 at
// the bright end; `end` is Low or High.
void ExtendEnd(const THistogram& w, ExtendedBins& e, int end, int outward, EndWindows win,
               int passes, int radius) {
  const int inward = -outward;
  const std::int32_t m1 = WindowMean(w, end + inward * win.H1, win.H1);
  const std::int32_t m2 = WindowMean(w, end + inward * 2 * win.H1, 2 * win.H1);
  const std::int32_t m3 = WindowMean(w, end + inward * win.H2, win.H2);
  const std::int32_t m4 = WindowMean(w, end + inward * 2 * win.H2, 2 * win.H2);
  if (m2 >= m1 && m4 >= m3) {
    // The density rises away from the end: continue the slope outward.
    const std::int64_t a1 = Round((static_cast<Extended>(m1) + m3) / 2);
    const std::int64_t a2 = Round((static_cast<Extended>(m2) + m4) / 2);
    const std::int64_t hh = Round((static_cast<Extended>(win.H1) + win.H2) / 2);
    for (int k = 1; k <= radius; ++k) {
      const std::int64_t product = (a2 - a1) * (k + hh);
      e[end + outward * k] = Round(a1 - static_cast<Extended>(product) / hh);
    }
    return;
  }
  // The density falls away from the end: a flat run of the end's mean.
  int span = static_cast<int>(std::min<std::int64_t>(
      win.H2,
      std::max<std::int64_t>(win.H1, Round(2 * radius + static_cast<Extended>(passes) / 4))));
  while (w[end + inward * span] == 0 && span <= 2 * win.H2) ++span;
  const int first = outward < 0 ? end : end - span + 1;
  const std::int64_t mean = Round(static_cast<Extended>(SumOf(w, first, first + span - 1)) / span);
  for (int k = 1; k <= radius; ++k) e[end + outward * k] = mean;
}

// The levels left after the sparse tails are cut: first..last.
struct TKeptLevels {
  int First;
  int Last;
  bool DarkCut(const THistogram& h) const { return h.Low < First; }
  bool BrightCut(const THistogram& h) const { return Last < h.High; }
};

// Phase one: from each end, the levels holding the first 0.05 % of total
// are set to 0, except the level where that share is reached.
TKeptLevels CutSparseTails(THistogram& r, std::int32_t total) {
  const Extended share = total * 0.0005L;
  std::int64_t acc = 0;
  int j = r.Low;
  while (acc < share && j <= r.High) acc += r[j++];
  const int first = j - 1;
  for (int i = r.Low; i < first; ++i) r[i] = 0;
  acc = 0;
  j = r.High;
  while (acc < share && j >= r.Low) acc += r[j--];
  const int last = j + 1;
  for (int i = last + 1; i <= r.High; ++i) r[i] = 0;
  return {first, last};
}

// Phase two: an end that was not cut is dense; it is continued beyond the
// range (from the normalised histogram w) so that the averages do not sag.
void ContinueDenseEnds(const THistogram& w, TKeptLevels kept, ExtendedBins& e, int passes,
                       int radius) {
  const bool darkDense = kept.First == w.Low;
  const bool brightDense = kept.Last == w.High;
  if (!darkDense && !brightDense) return;
  const int h1 = static_cast<int>(std::min<std::int64_t>(
      4, std::max<std::int64_t>(3, Round(3 * radius / std::sqrt(static_cast<Extended>(radius))))));
  const EndWindows win{h1, std::min(3 * h1, 30)};
  if (darkDense) ExtendEnd(w, e, w.Low, -1, win, passes, radius);
  if (brightDense) ExtendEnd(w, e, w.High, +1, win, passes, radius);
}

// The half-width of level i's window in pass p; 0 for a level frozen next
// to a cut tail.  Towards a cut tail the window narrows to 3.
int SmoothingWindow(const THistogram& r, TKeptLevels kept, int i, int p, int radius) {
  int window = radius;
  if (kept.DarkCut(r)) {
    if (p > 2 && i < kept.First + (p - 2)) return 0;
    window = i <= kept.First ? 3
                             : static_cast<int>(std::min<std::int64_t>(
                                   radius, Round(static_cast<Extended>(i - kept.First) / 2) + 3));
  }
  if (kept.BrightCut(r)) {
    if (p > 2 && i > kept.Last - (p - 2)) return 0;
    window = i >= kept.Last ? 3
                            : static_cast<int>(std::min<std::int64_t>(
                                  radius, Round(static_cast<Extended>(kept.Last - i) / 2) + 3));
  }
  return window;
}

// Phase three: `passes` moving averages over r, each reading the previous
// pass's counts (and the continued ends in e); no level rises above peak.
void SmoothInPasses(THistogram& r, TKeptLevels kept, ExtendedBins& e, std::int32_t peak, int passes,
                    int radius) {
  for (int p = 1; p <= passes; ++p) {
    for (int i = r.Low; i <= r.High; ++i) e[i] = r[i];
    for (int i = r.Low; i <= r.High; ++i) {
      const int window = SmoothingWindow(r, kept, i, p, radius);
      if (window == 0) continue;
      std::int64_t sum = 0;
      for (int k = i - window; k <= i + window; ++k) sum += e[k];
      r[i] = RoundNonNegative(static_cast<Extended>(sum) / (2 * window + 1));
      if (peak > 0 && r[i] > peak) r[i] = peak;
    }
  }
}

}  // namespace

std::int32_t WindowMean(const THistogram& w, int center, int half) {
  const std::int64_t sum = SumOf(w, center - half, center + half);
  return static_cast<std::int32_t>(Round(static_cast<Extended>(sum) / (2 * half + 1)));
}

void THist::SmoothShape(const THistogram& h, THistogram& result, std::int32_t total, int passes,
                        int radius) const {
  if (radius == 0 || !h.Ready) return;
  THistogram w = h;
  Normalize(w, total);
  result = w;
  // An empty histogram has no tails to find: its smooth shape is empty.
  if (Total(w) == 0) {
    result.Ready = true;
    return;
  }
  const TKeptLevels kept = CutSparseTails(result, total);
  // Windows reach at most `margin` levels beyond an end.
  ExtendedBins e(result.Low, result.High, std::max(radius, 3));
  ContinueDenseEnds(w, kept, e, passes, radius);
  SmoothInPasses(result, kept, e, Peak(w), passes, radius);
  Normalize(result, total);
  result.Ready = true;
}

}  // namespace tavren
