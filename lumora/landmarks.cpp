// Interior ledges and valleys of a channel histogram.
#include "lumora/landmarks.h"

#include <algorithm>

#include "imaging/numeric.h"

namespace tavren {

namespace {

// Candidate tops: for each tenth of the peak as threshold, every stretch of
// levels above it yields at most one candidate, started at the stretch's
// first local maximum and moved to any later, strictly higher level.
TMiddle1 LedgeCandidates(const THist& hist, const THistogram& h) {
  TMiddle1 acc;
  for (int k = 1; k <= 9; ++k) {
    const std::int64_t t =
        Round(static_cast<Extended>(static_cast<std::int64_t>(k) * h.PeakCount) / 10);
    TMiddle1 run;
    bool inside = false;
    for (int i = h.Low + 1; i <= h.High - 1; ++i) {
      if (h[i] > t) {
        if (!inside && hist.IsLocalMaximum(h, i)) {
          run.push_back(TLedgeRec{i});
          inside = true;
        }
        if (inside && h[run.back().Pos] < h[i]) run.back().Pos = i;
      } else {
        inside = false;
      }
    }
    for (const TLedgeRec& rec : run) {
      const bool known =
          std::any_of(acc.begin(), acc.end(), [&](const TLedgeRec& a) { return a.Pos == rec.Pos; });
      if (!known) acc.push_back(rec);
    }
  }
  return acc;
}

// The top exceeds one of its feet by more than 90 % of that foot.
bool IsSteep(const THistogram& h, const TLedgeRec& e) {
  const std::int64_t top = h[e.Pos];
  const std::int64_t left = h[e.Pos - e.LeftWidth];
  const std::int64_t right = h[e.Pos + e.RightWidth];
  return top - left > 0.9L * left || top - right > 0.9L * right;
}

// Ledges that lie within another ledge's span are dropped; each is judged
// against all the others, so two that lie in each other's span both go.
TMiddle1 WithoutNested(const TMiddle1& ledges) {
  TMiddle1 kept;
  for (std::size_t i = 0; i < ledges.size(); ++i) {
    bool nested = false;
    for (std::size_t j = 0; j < ledges.size() && !nested; ++j) {
      if (i == j) continue;
      const TLedgeRec& o = ledges[j];
      nested = o.Pos - o.LeftWidth <= ledges[i].Pos && ledges[i].Pos <= o.Pos + o.RightWidth;
    }
    if (!nested) kept.push_back(ledges[i]);
  }
  return kept;
}

// The fall of one flank in percent of the height per level of width.
Extended FallPerLevel(std::int64_t drop, Extended m, std::int32_t width, Extended fallback) {
  return SafeDiv(drop / m * 100, width, fallback);
}

void ShapeLedge(const THistogram& h, TLedgeRec& e, std::int32_t ledgeMiddle) {
  const Extended m = std::max(h[e.Pos], h.PeakCountClipped);
  const std::int64_t dL = static_cast<std::int64_t>(h[e.Pos]) - h[e.Pos - e.LeftWidth];
  const std::int64_t dR = static_cast<std::int64_t>(h[e.Pos]) - h[e.Pos + e.RightWidth];
  // Flank strengths; a width of 0 gives full strength.
  e.LeftSlope = static_cast<double>(
      std::min<Extended>(1, FallPerLevel(dL, m, e.LeftWidth, 2147483647) * 0.71L));
  e.RightSlope = static_cast<double>(
      std::min<Extended>(1, FallPerLevel(dR, m, e.RightWidth, 2147483647) * 0.71L));
  // Steep flanks are widened, by up to three times.
  const Extended a =
      std::max<Extended>(0, std::min<Extended>(2, FallPerLevel(dL, m, e.LeftWidth, 0) * 0.3L));
  const Extended b =
      std::max<Extended>(0, std::min<Extended>(2, FallPerLevel(dR, m, e.RightWidth, 0) * 0.3L));
  e.LeftWidth = static_cast<std::int32_t>(Round((1 + a) * e.LeftWidth));
  e.RightWidth = static_cast<std::int32_t>(Round((1 + b) * e.RightWidth));
  // Neither side narrower than 40 % of the other.
  e.LeftWidth =
      static_cast<std::int32_t>(Round(std::max<Extended>(0.4L * e.RightWidth, e.LeftWidth)));
  e.RightWidth =
      static_cast<std::int32_t>(Round(std::max<Extended>(0.4L * e.LeftWidth, e.RightWidth)));
  const Extended scale = static_cast<Extended>(ledgeMiddle) / 100 + 1;
  e.LeftWidth = static_cast<std::int32_t>(Round(scale * e.LeftWidth));
  e.RightWidth = static_cast<std::int32_t>(Round(scale * e.RightWidth));
}

}  // namespace

TMiddle1 FindLedges(const THist& hist, const THistogram& h, std::int32_t /*n*/,
                    std::int32_t ledgeMiddle) {
  TMiddle1 candidates = LedgeCandidates(hist, h);
  for (TLedgeRec& e : candidates) {
    e.LeftWidth = hist.PeakHalfWidth(h, e.Pos, TSide::Left);
    e.RightWidth = hist.PeakHalfWidth(h, e.Pos, TSide::Right);
  }
  TMiddle1 steep;
  for (const TLedgeRec& e : candidates)
    if (IsSteep(h, e)) steep.push_back(e);
  TMiddle1 ledges = WithoutNested(steep);
  for (TLedgeRec& e : ledges) ShapeLedge(h, e, ledgeMiddle);
  return ledges;
}

TValley1 FindValleys(const THistogram& h) {
  // The valley threshold is 7 % of the clipped peak.
  const std::int64_t v =
      Round(static_cast<Extended>(static_cast<std::int64_t>(h.PeakCountClipped) * 7) / 100);
  TValley1 runs;
  bool inside = false;
  for (int i = h.Low; i <= h.High; ++i) {
    if (h[i] < v && i < h.High) {
      if (!inside) {
        runs.push_back(TValleyRec{i});
        inside = true;
      }
    } else if (inside) {
      runs.back().EndLevel = i;
      inside = false;
    }
  }
  TValley1 valleys;
  for (TValleyRec& rec : runs) {
    if (rec.EndLevel - rec.StartLevel <= 5) continue;
    rec.Weight = static_cast<double>(
        std::min<Extended>(1, static_cast<Extended>(rec.EndLevel - rec.StartLevel) / 18));
    valleys.push_back(rec);
  }
  return valleys;
}

}  // namespace tavren
