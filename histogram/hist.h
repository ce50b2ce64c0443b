// Histogram records and the histogram service THist.
//
// A THistogram holds up to 2001 int32 counts; only the levels Low..High
// belong to it.  A THistSet is ten of them, indexed by channel.  Every
// operation is a method of THist and works on the histograms its caller
// passes in; THist keeps no state between calls.
#pragma once

#include <array>
#include <cstdint>

#include "imaging/image.h"

namespace tavren {

constexpr int kHistBins = 2001;

enum THistChannel : std::uint8_t {
  hcSum = 0,
  hcRed = 1,
  hcGreen = 2,
  hcBlue = 3,
  hcHue = 4,
  hcSaturation = 5,
  hcValue = 6,
  hcLightness = 7,
  hcA = 8,
  hcB = 9,
};
constexpr int kHistChannels = 10;

struct THistogram {
  std::array<std::int32_t, kHistBins> Bins{};
  std::int32_t Low = 0;
  std::int32_t High = 255;
  std::int32_t PeakCount = 0;
  std::int32_t PeakCountClipped = 0;
  bool Ready = false;
  std::uint8_t Channel = 0;

  std::int32_t& operator[](int level) { return Bins[level]; }
  std::int32_t operator[](int level) const { return Bins[level]; }
};

using THistSet = std::array<THistogram, kHistChannels>;

enum class TEnd { Dark, Bright };
enum class TSide { Left, Right };

class THist {
 public:
  // --- model and gathering ---
  // Fills every histogram of hists from image (red, green, blue and their
  // per-level sum; the other six stay empty), with peaks (clipped) and Ready.
  void Gather(const Image& image, THistSet& hists) const;
  void InitSet(THistSet& hists) const;
  void InitHistogram(THistogram& h) const;
  void SetReady(THistogram& h) const { h.Ready = true; }
  void SetReadyAll(THistSet& hists, bool value) const;

  // --- peaks and spike clipping ---
  std::int32_t Peak(const THistogram& h) const;
  std::int32_t PeakClipped(const THistogram& h, bool clip) const;
  void UpdatePeaks(THistogram& h, bool clip) const;
  void UpdatePeaksAll(THistSet& hists, bool clip) const;
  void ClipSpikes(THistogram& h) const;

  // --- rescaling, template, sample ratio ---
  void Normalize(THistogram& h, std::int32_t total) const;
  void NormalizeRGB(THistSet& hists, std::int32_t total, bool skip) const;
  void FromTemplate(THistogram& h, std::int32_t total) const;
  double SampleRatio(const Image& image, const THistogram& h) const;

  // --- landmarks (used by the tone correction) ---
  bool IsLocalMaximum(const THistogram& h, int level) const;
  bool IsSpike(const THistogram& h, int level, std::int32_t n, std::int32_t& mean) const;
  void RemoveSpikes(THistogram& h, std::int32_t n) const;
  std::int32_t EdgeWidth(const THistogram& h, TEnd end, std::int32_t n, std::int32_t adjust) const;
  std::int32_t PeakHalfWidth(const THistogram& h, int level, TSide side) const;

  // --- shape smoothing ---
  void SmoothShape(const THistogram& h, THistogram& result, std::int32_t total, int passes,
                   int radius) const;
};

// The end-zone width w corrected by adjust percent (EdgeWidth's last step).
std::int32_t AdjustEdgeWidth(std::int64_t width, std::int32_t adjust);

// Round of the mean of w[center - half .. center + half].
std::int32_t WindowMean(const THistogram& w, int center, int half);

// The 256 counts of the built-in reference shape.
const std::array<std::int32_t, 256>& TemplateHistogram();

}  // namespace tavren
