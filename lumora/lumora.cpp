// The tone correction's passes: analyse the picture, build the targets,
// remap the channels, bound the changes and restore the colour proportions.
#include "lumora/lumora.h"

#include <utility>

#include "histogram/match.h"
#include "lumora/limits.h"
#include "lumora/protect.h"
#include "lumora/work.h"

namespace tavren {

namespace {

constexpr int kColourChannels[3] = {hcRed, hcGreen, hcBlue};
constexpr int kStrongPasses = 5;

}  // namespace

TLumora::TLumora() : work_(std::make_unique<TWork>()) {}
TLumora::~TLumora() = default;

const THistSet& TLumora::Targets() const { return work_->Out; }

void TLumora::Process(Image& image, std::uint8_t strength, TLumoraParams params) {
  int passes = 0;
  std::int32_t amount = 100;
  switch (strength) {
    case 1: passes = 1; amount = 40; break;
    case 2: passes = 1; break;
    case 3: passes = kStrongPasses; break;
    default: return;
  }
  // The passes work on the picture itself.  The one large block a pass
  // needs (the picture before remapping) is taken by the first pass before
  // any pixel changes and reused by the others, so running out of memory
  // leaves the picture untouched.
  for (int pass = 0; pass < passes; ++pass) RunPass(image, amount, params);
  // A whole picture's worth of scratch is not kept between calls.
  work_->Orig = Image();
}

void TLumora::RunPass(Image& image, std::int32_t amount, const TLumoraParams& params) {
  std::int32_t n = 0;
  if (!ImagePixelCount(image, n)) return;
  TWork& w = *work_;
  hist_.InitSet(w.Out);
  hist_.InitHistogram(w.C);
  // One census serves the pass's histograms and the remapping, which works
  // on the same, still unchanged picture.
  TakeCensus(image, PictureBands(image.Height()), w.Census);
  FillHistSet(w.Census.Total, w.Src);
  w.B = ReferenceShape(n);
  w.A = ImageShapeOfColours(w.Src, n);
  w.Orig.Assign(image);

  BlendShapes(w.B, w.A, amount, w.C);
  hist_.SetReady(w.C);
  BuildIntensityTarget(n);

  AnalyseLandmarks(n, params);
  const Extended valley = params.Valley;
  for (int c : kColourChannels) BuildChannelTarget(c, image, n, valley);
  hist_.SetReadyAll(w.Out, true);

  MatchHistogram(image, w.Out, w.Census);
  LimitChangesAndRestoreRatios(image, w.Orig, params.DDVILimit, params.DDVSLimit);
}

void TLumora::AnalyseLandmarks(std::int32_t n, const TLumoraParams& params) {
  const THistSet& src = work_->Src;
  for (int c : kColourChannels)
    LedgeData.Left[c] = hist_.EdgeWidth(src[c], TEnd::Dark, n, params.EdgeLeft);
  for (int c : kColourChannels)
    LedgeData.Right[c] = hist_.EdgeWidth(src[c], TEnd::Bright, n, params.EdgeRight);
  for (int c : kColourChannels)
    LedgeData.Middle[ChannelSlot(c)] = FindLedges(hist_, src[c], n, params.LedgeMiddle);
  for (int c : kColourChannels) Valleys[ChannelSlot(c)] = FindValleys(src[c]);
}

}  // namespace tavren
