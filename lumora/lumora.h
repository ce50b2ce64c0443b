// Lumora tone correction: histogram matching towards a blend of a
// reference shape and the picture's own smoothed shape, with protected ends,
// ledges and valleys, change limits and colour-ratio restoration.  This
// header shows the pass; its steps have headers of their own (protect.h,
// limits.h, restore_rows.h).
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "histogram/hist.h"
#include "histogram/level_census.h"
#include "imaging/image.h"
#include "imaging/numeric.h"
#include "lumora/landmarks.h"

namespace tavren {

// The 32-byte parameter record, passed by value.
struct TLumoraParams {
  std::int32_t EdgeLeft = 0;
  std::int32_t EdgeRight = 0;
  std::int32_t LedgeMiddle = 0;
  std::int32_t Reserved = 0;
  double Valley = 0.5;
  std::int32_t DDVSLimit = 51;
  std::int32_t DDVILimit = 51;
};
static_assert(sizeof(TLumoraParams) == 32);

// Per colour channel, red, green, blue in that order.
using TMiddle = std::array<TMiddle1, 3>;
using TValley = std::array<TValley1, 3>;

// The protected zones found by the last pass.  Left and Right are indexed by
// channel number (hcRed, hcGreen, hcBlue); index 0 stays unused.
struct TLedgeData {
  std::array<std::int32_t, 4> Left{};
  std::array<std::int32_t, 4> Right{};
  TMiddle Middle;
};

// Slot 0..2 of the per-channel lists for hcRed, hcGreen, hcBlue.
inline int ChannelSlot(int channel) { return channel - hcRed; }

class TLumora {
 public:
  TLumora();
  ~TLumora();
  TLumora(const TLumora&) = delete;
  TLumora& operator=(const TLumora&) = delete;

  // Strength 0 Off, 1 Weak (one pass, amount 40), 2 Normal (one pass, 100),
  // 3 Strong (five passes of 100); anything else changes nothing.  start,
  // when the step before took it, holds the picture's census, which the
  // first pass then needs not take.  Each pass but the last takes the next
  // one's census along in its last sweep.
  void Process(Image& image, std::uint8_t strength, TLumoraParams params,
               TTakeAlong* start = nullptr);
  void RunPass(Image& image, std::int32_t amount, const TLumoraParams& params);

  // The analysis of the last pass.
  TLedgeData LedgeData;
  TValley Valleys;

  // The target set of the last pass (hcSum holds the intensity target).
  const THistSet& Targets() const;

  // --- target construction, usable on its own ---
  // The built-in template scaled to total n.
  THistogram ReferenceShape(std::int32_t n) const;
  // The spike-free, smoothed shape of one histogram, totalling n.
  THistogram ImageShape(const THistogram& h, std::int32_t n) const;
  // The same for the per-level sum of the red, green and blue histograms.
  THistogram ImageShapeOfColours(const THistSet& hists, std::int32_t n) const;

 private:
  struct TWork;

  // The census a pass starts from.
  void StartPass(const Image& image);
  // The pass once started; along, when given (in the census's bands),
  // takes the next pass's census along in the last sweep.
  void FinishPass(Image& image, std::int32_t amount, const TLumoraParams& params,
                  TCensusAlong* along);
  void RemapAndRestore(Image& image, const TLumoraParams& params, TCensusAlong* along);
  void AnalyseLandmarks(std::int32_t n, const TLumoraParams& params);
  void BuildIntensityTarget(std::int32_t n);
  void BuildChannelTarget(int channel, const Image& image, std::int32_t n, Extended valley);
  void FillChannelTarget(int channel, Extended scale, Extended valley);
  void ProtectChannelTarget(int channel, Extended valley);

  THist hist_;
  std::unique_ptr<TWork> work_;
};

}  // namespace tavren
