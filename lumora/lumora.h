// Lumora tone correction: histogram matching towards a blend of a
// reference shape and the picture's own smoothed shape, with protected ends,
// ledges and valleys, change limits and colour-ratio restoration.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "histogram/hist.h"
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
  // 3 Strong (five passes of 100); anything else changes nothing.
  void Process(Image& image, std::uint8_t strength, TLumoraParams params);
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

  void AnalyseLandmarks(std::int32_t n, const TLumoraParams& params);
  void BuildIntensityTarget(std::int32_t n);
  void BuildChannelTarget(int channel, const Image& image, std::int32_t n, Extended valley);
  void FillChannelTarget(int channel, Extended scale, Extended valley);
  void ProtectChannelTarget(int channel, Extended valley);

  THist hist_;
  std::unique_ptr<TWork> work_;
};

// C[i] := B[i] + Round((1 - amount / 100) x (A[i] - B[i])); with amount 100
// the blend is B itself.
void BlendShapes(const THistogram& reference, const THistogram& own, std::int32_t amount,
                 THistogram& blend);

// The damped target count of one valley level: s the source count, peak the
// target's clipped peak, weight the valley's weight, d = target - source.
std::int32_t DampValleyBin(std::int32_t s, std::int32_t peak, Extended weight, std::int32_t d,
                           Extended valley);

// Pulls the target levels from..to back towards the source: the whole pull
// at level `anchor`, fading linearly to nothing `width` levels away, scaled
// by strength.  Levels outside 0..255 are not part of the histogram and are
// skipped.
void PullTowardsSource(THistogram& target, const THistogram& source, int anchor, int from,
                       int to, std::int32_t width, Extended strength);

// --- per-pixel work of a pass; each scan works on a band of rows so that
// bands can be handed to several threads ---

// The largest change of each channel (General) and the largest excess of a
// channel's change over the pixel's smallest channel change (Local).
struct TChangeTops {
  std::array<std::int32_t, 3> General{};  // red, green, blue
  std::array<std::int32_t, 3> Local{};
  void Merge(const TChangeTops& other);
};

// How far each change is pulled back, per channel (red, green, blue) and
// size of change; all zeros for a limit that does not apply.
struct TChangeCuts {
  std::array<std::array<std::uint8_t, 256>, 3> Local{};
  std::array<std::array<std::uint8_t, 256>, 3> General{};
  // False when every table is zeros: no change reaches a limit, which is
  // the common case, and the cuts leave every pixel as it is.
  bool Any = false;
};

TChangeTops MeasureChanges(const Image& image, const Image& orig, std::int32_t rowBegin,
                           std::int32_t rowEnd);
TChangeCuts PlanChangeCuts(const TChangeTops& tops, std::int32_t localLimit,
                           std::int32_t generalLimit);
void ApplyChangeCuts(Image& image, const Image& orig, const TChangeCuts& cuts,
                     std::int32_t rowBegin, std::int32_t rowEnd);
void RestoreColorRatioRows(Image& image, const Image& orig, std::int32_t rowBegin,
                           std::int32_t rowEnd);

// Local limit then general limit on how far image moved away from orig.
void LimitChanges(Image& image, const Image& orig, std::int32_t localLimit,
                  std::int32_t generalLimit);
// Gives every pixel the colour proportions it had in orig, keeping the
// brightness (channel sum) it has now.
void RestoreColorRatios(Image& image, const Image& orig);

// LimitChanges, then RestoreColorRatios, with one sweep for both.
void LimitChangesAndRestoreRatios(Image& image, const Image& orig, std::int32_t localLimit,
                                  std::int32_t generalLimit);

// One pixel's new values (red, green, blue) from its remapped values vc and
// original values oc: in extended precision, and the same in whole numbers
// where that provably gives the same result (falling back otherwise).
void RestorePixelRatiosExtended(const int vc[3], const int oc[3], int out[3]);
void RestorePixelRatios(const int vc[3], const int oc[3], int out[3]);
// q / sum rounded down, for 0 <= q < 2^18 and a sum of channel values 1..765.
int DivideBySum(int q, int sum);

}  // namespace tavren
