// Histogram sets: initialisation, gathering and peak heights.
#include <algorithm>

#include "histogram/hist.h"
#include "histogram/level_census.h"

namespace tavren {

namespace {

// The last level of each channel of a set.
constexpr std::array<std::int32_t, kHistChannels> kChannelHigh = {255, 255, 255, 255, 1436,
                                                                  600, 600, 600, 510, 510};

}  // namespace

void THist::InitSet(THistSet& hists) const {
  for (int c = 0; c < kHistChannels; ++c) {
    THistogram& h = hists[c];
    h.Bins.fill(0);
    h.Low = 0;
    h.High = kChannelHigh[c];
    h.Channel = static_cast<std::uint8_t>(c);
    h.Ready = false;
  }
}

void THist::InitHistogram(THistogram& h) const {
  h.Bins.fill(0);
  h.Low = 0;
  h.High = 255;
  h.Channel = 0;
  h.Ready = false;
}

void THist::SetReadyAll(THistSet& hists, bool value) const {
  for (THistogram& h : hists) h.Ready = value;
}

// The bands are counted on the pool and their tables added up; counting
// is exact, so the result does not depend on the split.
void THist::Gather(const Image& image, THistSet& hists) const {
  TLevelCensus census;
  TakeCensus(image, PictureBands(image.Height()), census);
  FillHistSet(census.Total, hists);
}

std::int32_t THist::Peak(const THistogram& h) const {
  std::int32_t peak = 0;
  for (int i = h.Low; i <= h.High; ++i) peak = std::max(peak, h[i]);
  return peak;
}

std::int32_t THist::PeakClipped(const THistogram& h, bool clip) const {
  if (!clip) return Peak(h);
  THistogram copy = h;
  ClipSpikes(copy);
  return Peak(copy);
}

void THist::UpdatePeaks(THistogram& h, bool clip) const {
  h.PeakCount = Peak(h);
  h.PeakCountClipped = clip ? PeakClipped(h, true) : h.PeakCount;
}

void THist::UpdatePeaksAll(THistSet& hists, bool clip) const {
  for (THistogram& h : hists) h.PeakCount = Peak(h);
  if (!clip) return;
  for (THistogram& h : hists) h.PeakCountClipped = PeakClipped(h, true);
}

}  // namespace tavren
