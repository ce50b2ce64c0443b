// Histogram sets: initialisation, gathering and peak heights.
#include <algorithm>

#include "histogram/hist.h"

namespace tavren {

namespace {

// The last level of each channel of a set.
constexpr std::array<std::int32_t, kHistChannels> kChannelHigh = {255,  255, 255, 255, 1436,
                                                                   600,  600, 600, 510, 510};

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

void THist::ClearSet(THistSet& hists) const {
  for (THistogram& h : hists) ClearHistogram(h);
}

void THist::InitHistogram(THistogram& h) const {
  h.Bins.fill(0);
  h.Low = 0;
  h.High = 255;
  h.Channel = 0;
  h.Ready = false;
}

void THist::ClearHistogram(THistogram& h) const {
  h.Bins.fill(0);
  h.Ready = false;
}

void THist::SetReadyAll(THistSet& hists, bool value) const {
  for (THistogram& h : hists) h.Ready = value;
}

std::int32_t THist::PixelCount(const Image& image) const {
  return image.Width() * image.Height();
}

void THist::Gather(const Image& image, THistSet& hists) const {
  InitSet(hists);
  // Pictures are always 24 bits per pixel here, so there is nothing to
  // convert before counting.
  std::int32_t* red = hists[hcRed].Bins.data();
  std::int32_t* green = hists[hcGreen].Bins.data();
  std::int32_t* blue = hists[hcBlue].Bins.data();
  for (std::int32_t y = 0; y < image.Height(); ++y) {
    const std::uint8_t* p = image.Row(y);
    for (std::int32_t x = 0; x < image.Width(); ++x, p += 3) {
      ++blue[p[0]];
      ++green[p[1]];
      ++red[p[2]];
    }
  }
  for (int v = 0; v < 256; ++v) hists[hcSum][v] = red[v] + green[v] + blue[v];
  UpdatePeaksAll(hists, true);
  SetReadyAll(hists, true);
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
