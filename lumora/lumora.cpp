// The tone correction's passes: analyse the picture, build the targets,
// remap the channels, bound the changes and restore the colour proportions.
#include "lumora/lumora.h"

#include <utility>
#include <vector>

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

void TLumora::Process(Image& image, std::uint8_t strength, TLumoraParams params,
                      TTakeAlong* start) {
  int passes = 0;
  std::int32_t amount = 100;
  switch (strength) {
    case 1: passes = 1; amount = 40; break;
    case 2: passes = 1; break;
    case 3: passes = kStrongPasses; break;
    default: return;
  }
  if (!ImageHasPixels(image)) return;
  TWork& w = *work_;
  // The passes work on the picture itself.  The one large block a pass
  // needs (for the remapped values) is taken before any pixel changes and
  // reused by the passes after, so running out of memory leaves the
  // picture untouched.
  w.Remapped.ResetForOverwrite(image.Width(), image.Height());
  bool started = false;
  if (start != nullptr && start->taken) {
    w.Census = std::move(start->census);
    started = true;
  }
  for (int pass = 0; pass < passes; ++pass) {
    if (!started) StartPass(image);
    if (pass + 1 == passes) {
      FinishPass(image, amount, params, nullptr);
      break;
    }
    // The last sweep counts what it writes: the next pass's census,
    // without a pass of its own.
    TCensusAlong along(PictureBands(image.Height()));
    FinishPass(image, amount, params, &along);
    along.Finish(w.Census);
    started = true;
  }
  // A whole picture's worth of scratch is not kept between calls.
  w.Remapped = Image();
}

void TLumora::RunPass(Image& image, std::int32_t amount, const TLumoraParams& params) {
  if (!ImageHasPixels(image)) return;
  StartPass(image);
  FinishPass(image, amount, params, nullptr);
}

// One census serves the pass's histograms and the remapping, which works
// on the same, still unchanged picture.
void TLumora::StartPass(const Image& image) {
  TakeCensus(image, PictureBands(image.Height()), work_->Census);
}

void TLumora::FinishPass(Image& image, std::int32_t amount, const TLumoraParams& params,
                         TCensusAlong* along) {
  std::int32_t n = 0;
  ImagePixelCount(image, n);
  TWork& w = *work_;
  hist_.InitSet(w.Out);
  hist_.InitHistogram(w.C);
  FillHistSet(w.Census.Total, w.Src);
  w.B = ReferenceShape(n);
  w.A = ImageShapeOfColours(w.Src, n);

  BlendShapes(w.B, w.A, amount, w.C);
  hist_.SetReady(w.C);
  BuildIntensityTarget(n);

  AnalyseLandmarks(n, params);
  const Extended valley = params.Valley;
  for (int c : kColourChannels) BuildChannelTarget(c, image, n, valley);
  hist_.SetReadyAll(w.Out, true);

  // The new values go beside the picture, which the last sweep still needs
  // as it was; each row's changes are measured while the row is at hand.
  w.Remapped.ResetForOverwrite(image.Width(), image.Height());
  std::vector<TChangeTops> bandTops(static_cast<std::size_t>(w.Census.Bands.Count()));
  MatchHistogramInto(image, w.Remapped, w.Out, w.Census, [&](int band, std::int32_t y) {
    bandTops[static_cast<std::size_t>(band)].Merge(MeasureChanges(w.Remapped, image, y, y + 1));
  });
  TChangeTops tops;
  for (const TChangeTops& band : bandTops) tops.Merge(band);
  const RowBands bands = along != nullptr ? along->Bands() : PictureBands(image.Height());
  LimitChangesAndRestoreOver(image, w.Remapped, tops, params.DDVILimit, params.DDVSLimit, bands,
                             along);
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
