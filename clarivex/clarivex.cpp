// Clarivex haze removal: the analysis of the empty ends of each channel and
// the level tables that stretch the occupied levels over the full range.
#include "clarivex/clarivex.h"

#include <algorithm>

#include "clarivex/clarivex_tables.h"
#include "imaging/numeric.h"

namespace tavren {

namespace clarivex {

namespace {

// Tail shares in percent of the pixels, by strength.
constexpr double kTailShareWeak = 0.1;
constexpr double kTailShareNormal = 0.1;
constexpr double kTailShareStrong = 1.0;

double TailShare(std::uint8_t strength) {
  return strength == 3 ? kTailShareStrong : strength == 2 ? kTailShareNormal : kTailShareWeak;
}

std::int32_t CountAt(const Counts& c, int level) { return level < 0 || level > 255 ? 0 : c[level]; }

std::int32_t PredictedAt(const ChannelTables& t, int level) {
  return level < 0 || level > 256 ? 0 : t.Predicted[level];
}

// Stretches source levels a..b onto 0..b: the dark empty area becomes
// black, and the segment gets a bow that lifts its middle a little.
void RisingStretch(LevelMap& m, int a, int b) {
  if (b - a <= 0) return;
  const Extended w = b - a;
  const Extended k = b / w;
  for (int i = 0; i < a; ++i) m[i] = 0;
  for (int i = a; i <= b; ++i) {
    const Extended base = i == a ? 0 : m[i - 1] + k;
    m[i] = static_cast<double>(base + (k - 1) - 2 * (i - a) * (k - 1) / w);
  }
}

// Stretches source levels c..d onto c..255: the bright empty area becomes
// white, and the segment's middle is lowered a little.
void FallingStretch(LevelMap& m, int c, int d) {
  if (d - c <= 0) return;
  const Extended w = d - c;
  const Extended k = (255 - c) / w;
  for (int i = d + 1; i <= 255; ++i) m[i] = 255;
  for (int i = d; i >= c; --i) {
    const Extended base = i == d ? 255 : m[i + 1] - k;
    m[i] = static_cast<double>(base - (k - 1) + 2 * (d - i) * (k - 1) / w);
  }
}

}  // namespace

std::int64_t TailThreshold(std::int32_t n, std::uint8_t strength) {
  return Round(n * (static_cast<Extended>(TailShare(strength)) / 100));
}

TEmptyAreaCh FindEmptyAreas(const Counts& c, std::int32_t n, std::uint8_t strength) {
  const std::int64_t t = TailThreshold(n, strength);
  TEmptyAreaCh e;
  if (c[0] < t) {
    e.LowActive = true;
    e.LowFrom = 0;
    e.LowTo = 0;
    std::int64_t s = c[0];
    while (e.LowTo < 255 && s + c[e.LowTo + 1] <= t) s += c[++e.LowTo];
  }
  if (strength == 1)
    e.LowTo = e.LowFrom + static_cast<std::int32_t>(Round((e.LowTo - e.LowFrom) / 2.0L));
  if (c[255] < t) {
    e.HighActive = true;
    e.HighFrom = 255;
    e.HighTo = 255;
    std::int64_t s = c[255];
    while (e.HighFrom > 0 && s + c[e.HighFrom - 1] <= t) s += c[--e.HighFrom];
  }
  if (strength == 1)
    e.HighFrom = e.HighTo - static_cast<std::int32_t>(Round((e.HighTo - e.HighFrom) / 2.0L));
  // An area must span at least four levels to be removed.
  if (e.LowTo - e.LowFrom < 3) e.LowActive = false;
  if (e.HighTo - e.HighFrom < 3) e.HighActive = false;
  return e;
}

void SuppressColorDistortion(TEmptyAreaT& areas) {
  bool anyLow = false, anyHigh = false;
  std::int32_t low = 255, high = 0;
  for (const TEmptyAreaCh& e : areas.Ch) {
    if (e.LowActive) {
      low = anyLow ? std::min(low, e.LowTo) : e.LowTo;
      anyLow = true;
    }
    if (e.HighActive) {
      high = anyHigh ? std::max(high, e.HighFrom) : e.HighFrom;
      anyHigh = true;
    }
  }
  for (TEmptyAreaCh& e : areas.Ch) {
    e.LowTo = anyLow ? low : 0;
    e.HighFrom = anyHigh ? high : 255;
  }
}

LevelMap BuildLevelMap(const TEmptyAreaCh& e) {
  LevelMap m;
  for (int i = 0; i < 256; ++i) m[i] = i;
  if (e.LowActive && e.HighActive) {
    // The pivot divides the range in the ratio of the two areas' widths.
    const std::int64_t dw = e.LowTo - e.LowFrom + 1;
    const std::int64_t bw = e.HighTo - e.HighFrom + 1;
    const int p = static_cast<int>(Trunc(static_cast<Extended>(256 * dw) / (dw + bw)));
    RisingStretch(m, e.LowTo + 1, p);
    FallingStretch(m, p + 1, e.HighFrom - 1);
  } else if (e.LowActive) {
    RisingStretch(m, e.LowTo + 1, 255);
  } else if (e.HighActive) {
    FallingStretch(m, 0, e.HighFrom - 1);
  }
  return m;
}

void BuildSplit(const LevelMap& map, const Counts& c, ChannelTables& t) {
  t.Predicted.fill(0);
  for (int i = 0; i < 256; ++i) {
    const Extended m = map[i];
    TLevelSplit& s = t.Split[i];
    s.Level = static_cast<std::int32_t>(Trunc(m));
    const Extended f = m - s.Level;
    s.LowCount = static_cast<std::int32_t>(Round((1 - f) * c[i]));
    s.HighCount = c[i] - s.LowCount;
    t.Rounded[i] = static_cast<std::int32_t>(Round(m));
    t.Predicted[s.Level] += s.LowCount;
    t.Predicted[s.Level + 1] += s.HighCount;
  }
}

void BuildPeakSpread(const TEmptyAreaCh& area, const Counts& c, ChannelTables& t) {
  t.Spread.fill(TPeakSpread{});
  const int i0 = area.LowActive ? area.LowTo + 1 : 0;
  const int i1 = area.HighActive ? area.HighFrom - 1 : 255;
  for (int i = std::max(i0, 0); i <= std::min(i1, 255); ++i) {
    const int r = t.Rounded[i];
    if (r <= 0 || r >= 255) continue;
    const std::int64_t qr = PredictedAt(t, r);
    if (!(PredictedAt(t, r - 1) < qr && qr > PredictedAt(t, r + 1))) continue;
    const std::int64_t sq = static_cast<std::int64_t>(PredictedAt(t, r - 2)) +
                            PredictedAt(t, r - 1) + PredictedAt(t, r + 1) + PredictedAt(t, r + 2);
    const std::int64_t sc = static_cast<std::int64_t>(CountAt(c, i - 2)) + CountAt(c, i - 1) +
                            CountAt(c, i + 1) + CountAt(c, i + 2);
    // Peakedness after the stretch against before it.
    const Extended after = sq == 0 ? 0 : static_cast<Extended>(qr) / sq;
    const Extended before = sc == 0 ? 0 : static_cast<Extended>(c[i]) / sc;
    if (!(after > before)) continue;
    const Extended q = sc == 0 ? 1 : static_cast<Extended>(c[i]) / sc;
    const std::int64_t excess = qr - Round(q * sq);
    const std::int64_t h =
        Round((static_cast<Extended>(PredictedAt(t, r - 1)) + PredictedAt(t, r + 1)) / 2);
    const std::int64_t v = Round(static_cast<Extended>(qr - h) / 2);
    const std::int64_t s = Round(static_cast<Extended>(std::min(v, excess)) / 2);
    // A later input level with the same output level overwrites an earlier.
    if (s > 0) t.Spread[r] = {static_cast<std::int32_t>(s), static_cast<std::int32_t>(s)};
  }
}

namespace {

// Byte offsets of red, green and blue within a pixel.
constexpr int kOffset[3] = {2, 1, 0};

void ApplyTableRows(Image& image, std::array<ChannelTables, 3>& tables, std::int32_t firstRow,
                    std::int32_t endRow) {
  for (std::int32_t y = firstRow; y < endRow; ++y) {
    std::uint8_t* p = image.Row(y);
    for (std::int32_t x = 0; x < image.Width(); ++x, p += 3) {
      for (int c = 0; c < 3; ++c) {
        TLevelSplit& s = tables[c].Split[p[kOffset[c]]];
        if (s.LowCount > 0) {
          p[kOffset[c]] = static_cast<std::uint8_t>(s.Level);
          --s.LowCount;
        } else if (s.HighCount > 0) {
          p[kOffset[c]] = static_cast<std::uint8_t>(std::min(s.Level + 1, 255));
          --s.HighCount;
        }
      }
      for (int c = 0; c < 3; ++c) {
        const std::uint8_t w = p[kOffset[c]];
        TPeakSpread& u = tables[c].Spread[w];
        if (u.Lower > 0) {
          p[kOffset[c]] = static_cast<std::uint8_t>(w - 1);
          --u.Lower;
        } else if (u.Raise > 0) {
          p[kOffset[c]] = static_cast<std::uint8_t>(w + 1);
          --u.Raise;
        }
      }
    }
  }
}

// Takes up to `pixels` from a counter that is consumed while positive;
// returns how many it took.
std::int64_t TakeFrom(std::int32_t& counter, std::int64_t pixels) {
  const std::int64_t taken = std::min<std::int64_t>(pixels, std::max(counter, 0));
  counter -= static_cast<std::int32_t>(taken);
  return taken;
}

// Brings one channel's tables to where the scan-order walk leaves them after
// `before[v]` pixels of every input level v.  The spread counters belong to
// the levels after the split, so the split's outcome for those pixels is
// counted first and then consumed from the spread.
void SkipPixels(ChannelTables& t, const std::array<std::int32_t, 256>& before) {
  std::array<std::int64_t, 256> afterSplit{};
  for (int v = 0; v < 256; ++v) {
    std::int64_t pending = before[v];
    if (pending == 0) continue;
    TLevelSplit& s = t.Split[v];
    const std::int64_t low = TakeFrom(s.LowCount, pending);
    pending -= low;
    const std::int64_t high = TakeFrom(s.HighCount, pending);
    pending -= high;
    afterSplit[static_cast<std::uint8_t>(s.Level)] += low;
    afterSplit[static_cast<std::uint8_t>(std::min(s.Level + 1, 255))] += high;
    afterSplit[v] += pending;
  }
  for (int w = 0; w < 256; ++w) {
    std::int64_t pending = afterSplit[w];
    TPeakSpread& u = t.Spread[w];
    pending -= TakeFrom(u.Lower, pending);
    TakeFrom(u.Raise, pending);
  }
}

LevelState SplitState(const TLevelSplit& s, int v) {
  if (s.LowCount > 0) return {s.LowCount, static_cast<std::uint8_t>(s.Level)};
  if (s.HighCount > 0) return {s.HighCount, static_cast<std::uint8_t>(std::min(s.Level + 1, 255))};
  return {kNoLimit, static_cast<std::uint8_t>(v)};
}

LevelState SpreadState(const TPeakSpread& u, int w) {
  if (u.Lower > 0) return {u.Lower, static_cast<std::uint8_t>(w - 1)};
  if (u.Raise > 0) return {u.Raise, static_cast<std::uint8_t>(w + 1)};
  return {kNoLimit, static_cast<std::uint8_t>(w)};
}

// The counter that was running is used up; the next one begins.
void NextSplit(TLevelSplit& s, int v, LevelState& state) {
  (s.LowCount > 0 ? s.LowCount : s.HighCount) = 0;
  state = SplitState(s, v);
}

void NextSpread(TPeakSpread& u, int w, LevelState& state) {
  (u.Lower > 0 ? u.Lower : u.Raise) = 0;
  state = SpreadState(u, w);
}

// The rows of one band with the tables where the walk stands at its first
// row.  Each value takes its split and then its spread, as the plain pass
// does; the running counter of every level is kept at hand.
void ApplyBandRows(Image& image, std::array<ChannelTables, 3>& tables, std::int32_t firstRow,
                   std::int32_t endRow, int band, TCensusAlong* along) {
  LevelStates split[3];
  LevelStates spread[3];
  for (int c = 0; c < 3; ++c) {
    for (int v = 0; v < 256; ++v) {
      split[c][static_cast<std::size_t>(v)] = SplitState(tables[c].Split[v], v);
      spread[c][static_cast<std::size_t>(v)] = SpreadState(tables[c].Spread[v], v);
    }
  }
  for (std::int32_t y = firstRow; y < endRow; ++y) {
    std::uint8_t* p = image.Row(y);
    for (std::int32_t x = 0; x < image.Width(); ++x, p += 3) {
      for (int c = 0; c < 3; ++c) {
        std::uint8_t& value = p[kOffset[c]];
        const std::uint8_t v = value;
        LevelState& s = split[c][v];
        const std::uint8_t w = s.Value;
        if (--s.Left == 0) NextSplit(tables[c].Split[v], v, s);
        LevelState& u = spread[c][w];
        value = u.Value;
        if (--u.Left == 0) NextSpread(tables[c].Spread[w], w, u);
      }
    }
    if (along != nullptr) along->Row(band, image, y);
  }
}

}  // namespace

void ApplyTables(Image& image, std::array<ChannelTables, 3>& tables) {
  ApplyTableRows(image, tables, 0, image.Height());
}

void ApplyTables(Image& image, const std::array<ChannelTables, 3>& tables,
                 const TLevelCensus& census, TCensusAlong* along) {
  RunBands(census.Bands, [&](int b, std::int32_t first, std::int32_t end) {
    std::array<ChannelTables, 3> band = tables;
    const TLevelCounts& before = census.Before[static_cast<std::size_t>(b)];
    for (int c = 0; c < 3; ++c) SkipPixels(band[c], before[kOffset[c]]);
    ApplyBandRows(image, band, first, end, b, along);
  });
}

}  // namespace clarivex

void TClarivex::Process(Image& image, std::uint8_t strength, bool suppressColorDistortion,
                        const TLevelCensus* census, TTakeAlong* along) {
  using namespace clarivex;
  if (strength < 1 || strength > 3) return;
  std::int32_t n = 0;
  if (!ImagePixelCount(image, n)) return;
  areas_ = TEmptyAreaT{};
  TLevelCensus own;
  if (census == nullptr) {
    TakeCensus(image, PictureBands(image.Height()), own);
    census = &own;
  }
  THistSet hists;
  FillHistSet(census->Total, hists);
  const int channel[3] = {hcRed, hcGreen, hcBlue};
  std::array<Counts, 3> counts;
  for (int c = 0; c < 3; ++c) {
    std::copy_n(hists[channel[c]].Bins.begin(), 256, counts[c].begin());
    areas_.Ch[c] = FindEmptyAreas(counts[c], n, strength);
  }
  if (suppressColorDistortion) SuppressColorDistortion(areas_);
  std::array<ChannelTables, 3> tables;
  for (int c = 0; c < 3; ++c) {
    BuildSplit(BuildLevelMap(areas_.Ch[c]), counts[c], tables[c]);
    BuildPeakSpread(areas_.Ch[c], counts[c], tables[c]);
  }
  if (along == nullptr) {
    ApplyTables(image, tables, *census);
    return;
  }
  TCensusAlong counter(census->Bands);
  ApplyTables(image, tables, *census, &counter);
  counter.Finish(along->Census);
  along->Taken = true;
}

}  // namespace tavren
