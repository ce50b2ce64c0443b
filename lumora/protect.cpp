// Per-level pieces of the targets: the blend of the two shapes, and the
// pulls back towards the source histogram that protect valleys, clipped ends
// and ledges from a plain histogram matching.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "lumora/lumora.h"
#include "lumora/protect.h"
#include "lumora/work.h"

namespace tavren {

namespace {

// 1 for a zero exponent, 0 for a zero base under a positive exponent.
Extended Power(Extended base, Extended exponent) {
  if (exponent == 0) return 1;
  if (base == 0 && exponent > 0) return 0;
  return std::pow(base, exponent);
}

}  // namespace

void BlendShapes(const THistogram& reference, const THistogram& own, std::int32_t amount,
                 THistogram& blend) {
  if (amount == 100) {
    blend.Bins = reference.Bins;
    return;
  }
  const Extended ownWeight = 1 - static_cast<Extended>(amount) / 100;
  for (int i = 0; i <= 255; ++i)
    blend[i] = reference[i] + static_cast<std::int32_t>(Round(ownWeight * (own[i] - reference[i])));
}

void TLumora::ProtectChannelTarget(int channel, Extended valley) {
  THistogram& t = work_->Out[channel];
  const THistogram& sc = work_->Src[channel];
  const int slot = ChannelSlot(channel);

  for (const TValleyRec& v : Valleys[slot])
    for (int i = std::max(v.StartLevel, 0); i <= std::min(v.EndLevel, 255); ++i)
      t[i] = DampValleyBin(sc[i], t.PeakCountClipped, v.Weight, t[i] - sc[i], valley);

  const std::int32_t dark = LedgeData.Left[channel];
  if (dark >= 0) PullTowardsSource(t, sc, 0, 0, dark, dark, 1);
  const std::int32_t bright = LedgeData.Right[channel];
  if (bright >= 0) PullTowardsSource(t, sc, 255, 255 - bright, 255, bright, 1);

  for (const TLedgeRec& e : LedgeData.Middle[slot]) {
    PullTowardsSource(t, sc, e.Pos, e.Pos - e.LeftWidth, e.Pos, e.LeftWidth, e.LeftSlope);
    PullTowardsSource(t, sc, e.Pos, e.Pos, e.Pos + e.RightWidth, e.RightWidth, e.RightSlope);
  }
}

void PullTowardsSource(THistogram& target, const THistogram& source, int anchor, int from, int to,
                       std::int32_t width, Extended strength) {
  for (int i = std::max(from, 0); i <= std::min(to, 255); ++i) {
    const Extended f = SafeDiv(std::abs(i - anchor), width, 0);
    target[i] += static_cast<std::int32_t>(Round((1 - f) * (source[i] - target[i]) * strength));
  }
}

std::int32_t DampValleyBin(std::int32_t s, std::int32_t peak, Extended weight, std::int32_t d,
                           Extended valley) {
  // Decreases are never damped; a target without a peak gives no measure
  // of sparseness, so the increase passes as asked.
  if (d <= 0 || peak == 0) return s + d;
  const Extended q = s / (static_cast<std::int64_t>(peak) * 7 / static_cast<Extended>(100));
  const Extended e = SafeDiv(d, s, 0) * valley;
  const Extended p = Power(q, e);
  const Extended g = d * p;
  const Extended h = g + (1 - weight) * (d - g);
  const Extended capped = h < d ? h : static_cast<Extended>(d);
  return s + static_cast<std::int32_t>(Round(capped));
}

}  // namespace tavren
