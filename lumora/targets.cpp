// The target histograms of a pass: the intensity target from the blended
// reference and the picture's own shape, then one target per colour channel
// whose scale is found by a secant step, each try protected before it is
// measured.
#include <cmath>

#include "lumora/lumora.h"
#include "lumora/work.h"

namespace tavren {

namespace {

constexpr int kShapePasses = 16;
constexpr int kShapeRadius = 8;

// T := C' + sqrt(C' / A) x (S0 - A), level by level: S0 - A, the fine
// structure of the summed histogram, is laid over the reference, weighted by
// how far the reference departs from the picture's own shape.
std::int32_t IntensityLevel(Extended reference, std::int32_t own, std::int32_t source) {
  return RoundNonNegative(reference + std::sqrt(SafeDiv(reference, own, 1)) * (source - own));
}

}  // namespace

THistogram TLumora::ReferenceShape(std::int32_t n) const {
  THistogram b;
  hist_.InitHistogram(b);
  hist_.FromTemplate(b, n);
  return b;
}

THistogram TLumora::ImageShape(const THistogram& h, std::int32_t n) const {
  THistogram spikeFree = h;
  hist_.RemoveSpikes(spikeFree, n);
  THistogram shape;
  hist_.InitHistogram(shape);
  hist_.SmoothShape(spikeFree, shape, n, kShapePasses, kShapeRadius);
  return shape;
}

THistogram TLumora::ImageShapeOfColours(const THistSet& hists, std::int32_t n) const {
  THistogram red = hists[hcRed];
  THistogram green = hists[hcGreen];
  THistogram blue = hists[hcBlue];
  hist_.RemoveSpikes(red, n);
  hist_.RemoveSpikes(green, n);
  hist_.RemoveSpikes(blue, n);
  THistogram sum;
  hist_.InitHistogram(sum);
  for (int i = 0; i <= 255; ++i) sum[i] = red[i] + green[i] + blue[i];
  hist_.SetReady(sum);
  THistogram shape;
  hist_.InitHistogram(shape);
  hist_.SmoothShape(sum, shape, n, kShapePasses, kShapeRadius);
  return shape;
}

void TLumora::BuildIntensityTarget(std::int32_t n) {
  const THistogram& c = work_->C;
  const THistogram& a = work_->A;
  const THistogram& s0 = work_->Src[hcSum];
  THistogram& t0 = work_->Out[hcSum];

  for (int i = 0; i <= 255; ++i) t0[i] = IntensityLevel(c[i], a[i], s0[i]);
  hist_.SetReady(t0);

  // Where the smoothed first attempt L overshoots the reference, the
  // reference is lowered by the same ratio (C' = C / (L / C)), and the other
  // way round.
  const THistogram l = ImageShape(t0, n);
  for (int i = 0; i <= 255; ++i) {
    const Extended ratio = SafeDiv(l[i], c[i], 1);
    const Extended corrected = SafeDiv(c[i], ratio, 0);
    t0[i] = IntensityLevel(corrected, a[i], s0[i]);
  }
}

void TLumora::BuildChannelTarget(int channel, const Image& image, std::int32_t n, Extended valley) {
  const THistogram& s0 = work_->Src[hcSum];
  const THistogram& sc = work_->Src[channel];
  const THistogram& t0 = work_->Out[hcSum];
  for (int i = 0; i <= 255; ++i) work_->Share[i] = SafeDiv(sc[i], s0[i], 0) * t0[i];

  THistogram& t = work_->Out[channel];
  FillChannelTarget(channel, 1, valley);
  const double k1 = hist_.SampleRatio(image, t);
  FillChannelTarget(channel, k1, valley);
  const double k2 = hist_.SampleRatio(image, t);

  // One secant step towards the scale at which the protected target holds
  // exactly N pixels; equal tries give the quotient k2.
  const Extended x1 = k1;
  const Extended x2 = k2;
  const Extended k3 = x1 - SafeDiv(1 - x2, x2 - x1, x2) * (1 - x1);
  FillChannelTarget(channel, k3, valley);
  hist_.Normalize(t, n);
  hist_.UpdatePeaks(t, true);
}

void TLumora::FillChannelTarget(int channel, Extended scale, Extended valley) {
  THistogram& t = work_->Out[channel];
  for (int i = 0; i <= 255; ++i) t[i] = RoundNonNegative(work_->Share[i] * scale);
  hist_.UpdatePeaks(t, true);
  ProtectChannelTarget(channel, valley);
}

}  // namespace tavren
