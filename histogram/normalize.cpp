// Exact rescaling of histograms, the built-in reference shape and the
// ratio between a picture's pixel count and a histogram's total.
#include "histogram/hist.h"
#include "imaging/numeric.h"

namespace tavren {

namespace {

std::int64_t Total(const THistogram& h) {
  std::int64_t sum = 0;
  for (int i = h.Low; i <= h.High; ++i) sum += h[i];
  return sum;
}

// Hands the rounding residue d out one count at a time, from the lowest
// non-empty level up, sweep after sweep, so that the total comes out exact
// and empty levels stay empty.
void DistributeResidue(THistogram& h, std::int64_t d) {
  while (d != 0) {
    for (int i = h.Low; i <= h.High && d != 0; ++i) {
      if (h[i] > 0 && d > 0) {
        ++h[i];
        --d;
      }
      if (h[i] > 0 && d < 0) {
        --h[i];
        ++d;
      }
    }
  }
}

// Counts of levels 0..127; the shape is symmetric about the middle.
constexpr std::int32_t kTemplateHalf[128] = {
    0,     2422,  4795,  6822,  8324,  9578,  10672, 11650, 12540, 13359, 14121, 14832, 15501,
    16133, 16732, 17302, 17844, 18362, 18858, 19493, 19791, 20238, 20676, 21105, 21525, 21937,
    22340, 22735, 23123, 23503, 23875, 24241, 24599, 24951, 25296, 25635, 25967, 26293, 26614,
    26928, 27237, 27540, 27837, 28129, 28416, 28698, 28974, 29246, 29513, 29774, 30031, 30284,
    30532, 30775, 31014, 31248, 31478, 31704, 31925, 32143, 32356, 32566, 32771, 32972, 33170,
    33363, 33553, 33739, 33922, 34101, 34276, 34447, 34615, 34779, 34940, 35098, 35252, 35402,
    35549, 35693, 35834, 35971, 36105, 36236, 36363, 36488, 36609, 36727, 36842, 36953, 37062,
    37168, 37270, 37370, 37466, 37560, 37650, 37738, 37822, 37904, 37983, 38059, 38131, 38201,
    38269, 38333, 38394, 38453, 38508, 38561, 38611, 38658, 38703, 38744, 38783, 38819, 38852,
    38883, 38910, 38935, 38957, 38977, 38993, 39007, 39018, 39026, 39032, 39034,
};

std::array<std::int32_t, 256> MakeTemplate() {
  std::array<std::int32_t, 256> counts{};
  for (int v = 0; v < 128; ++v) {
    counts[v] = kTemplateHalf[v];
    counts[255 - v] = kTemplateHalf[v];
  }
  return counts;
}

}  // namespace

const std::array<std::int32_t, 256>& TemplateHistogram() {
  static const std::array<std::int32_t, 256> counts = MakeTemplate();
  return counts;
}

void THist::Normalize(THistogram& h, std::int32_t total) const {
  const std::int64_t sum = Total(h);
  // A negative goal cannot be reached with non-negative counts (the residue
  // sweeps would never end), so it is treated like a goal of 0.
  if (sum == 0 || total <= 0) return;
  const Extended f = SafeDiv(total, sum, 1);
  for (int i = h.Low; i <= h.High; ++i) h[i] = static_cast<std::int32_t>(Round(h[i] * f));
  h.PeakCount = static_cast<std::int32_t>(Round(h.PeakCount * f));
  const std::int64_t sum2 = Total(h);
  if (sum2 == 0) return;
  DistributeResidue(h, total - sum2);
}

void THist::NormalizeRGB(THistSet& hists, std::int32_t total, bool skip) const {
  if (skip) return;
  Normalize(hists[hcRed], total);
  Normalize(hists[hcGreen], total);
  Normalize(hists[hcBlue], total);
}

void THist::FromTemplate(THistogram& h, std::int32_t total) const {
  const auto& counts = TemplateHistogram();
  for (int v = 0; v < 256; ++v) h[v] = counts[v];
  Normalize(h, total);
  h.Ready = true;
}

double THist::SampleRatio(const Image& image, const THistogram& h) const {
  const std::int64_t sum = Total(h);
  const std::int64_t n = static_cast<std::int64_t>(image.Width()) * image.Height();
  if (sum == 0 || n == 0) return 0;
  return static_cast<double>(static_cast<Extended>(n) / sum);
}

}  // namespace tavren
