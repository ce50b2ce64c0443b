// The tone correction's passes: analyse the picture, build the targets,
// remap the channels, bound the changes and restore the colour proportions.
#include "lumora/lumora.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "histogram/match.h"
#include "lumora/limits.h"
#include "lumora/protect.h"
#include "lumora/restore_rows.h"
#include "lumora/work.h"

namespace tavren {

namespace {

constexpr int kColourChannels[3] = {hcRed, hcGreen, hcBlue};
constexpr int kStrongPasses = 5;

// Whether a change this large could exceed a limit: a channel's excess
// over the pixel's smallest change is never larger than its change, so
// below both limits nothing is cut.
bool ChangesCanReachLimits(const std::array<std::int32_t, 3>& largest,
                           const TLumoraParams& params) {
  const std::int32_t limit = std::max(std::min(params.DDVILimit, params.DDVSLimit), 0);
  return std::any_of(largest.begin(), largest.end(), [&](std::int32_t c) { return c > limit; });
}

}  // namespace

TLumora::TLumora() : work_(std::make_unique<TWork>()) {}
TLumora::~TLumora() = default;

const THistSet& TLumora::Targets() const { return work_->Out; }

void TLumora::Process(Image& image, std::uint8_t strength, TLumoraParams params,
                      TTakeAlong* start) {
  int passes = 0;
  std::int32_t amount = 100;
  switch (strength) {
    case 1:
      passes = 1;
      amount = 40;
      break;
    case 2:
      passes = 1;
      break;
    case 3:
      passes = kStrongPasses;
      break;
    default:
      return;
  }
  if (!ImageHasPixels(image)) return;
  TWork& w = *work_;
  // The passes work on the picture itself.  The one large block a pass
  // needs (for the remapped values) is taken before any pixel changes and
  // reused by the passes after, so running out of memory leaves the
  // picture untouched.
  w.Remapped.ResetForOverwrite(image.Width(), image.Height());
  bool started = false;
  if (start != nullptr && start->Taken) {
    w.Census = std::move(start->Census);
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
    TCensusAlong along(w.Census.Bands);
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
  RemapAndRestore(image, params, along);
}

// The remapping onto the targets, the limits and the colour proportions.
void TLumora::RemapAndRestore(Image& image, const TLumoraParams& params, TCensusAlong* along) {
  TWork& w = *work_;
  const TMatchPlan plan(image, w.Out, w.Census);
  const RowBands& bands = w.Census.Bands;
  if (!plan.Planned()) {  // nothing moves, but the next pass needs its census
    if (along == nullptr) return;
    RunBands(bands, [&](int b, std::int32_t first, std::int32_t end) {
      for (std::int32_t y = first; y < end; ++y) along->Row(b, image, y);
    });
    return;
  }
  if (!ChangesCanReachLimits(plan.LargestChanges(), params)) {
    // No cut can apply: each row is restored as soon as it is remapped and
    // written over the picture's row, in one sweep.
    plan.Walk(image, nullptr, [&](int band, std::int32_t y, std::uint8_t* values) {
      RestoreRow(values, image.Row(y), image.Width());
      std::memcpy(image.Row(y), values, image.Stride());
      if (along != nullptr) along->Row(band, image, y);
    });
    return;
  }
  // The new values go beside the picture, which the last sweep still needs
  // as it was; each row's changes are measured while the row is at hand.
  w.Remapped.ResetForOverwrite(image.Width(), image.Height());
  std::vector<TChangeTops> bandTops(static_cast<std::size_t>(w.Census.Bands.Count()));
  plan.Walk(image, &w.Remapped, [&](int band, std::int32_t y, std::uint8_t*) {
    bandTops[static_cast<std::size_t>(band)].Merge(MeasureChanges(w.Remapped, image, y, y + 1));
  });
  TChangeTops tops;
  for (const TChangeTops& band : bandTops) tops.Merge(band);
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
