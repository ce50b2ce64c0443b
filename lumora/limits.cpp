// The last two steps of a pass: bounding how far the remapping moved each
// channel value, and giving every pixel back its colour proportions.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "imaging/thread_pool.h"
#include "lumora/lumora.h"

namespace tavren {

namespace {

// Pixel bytes are blue, green, red; the tables run red, green, blue.
constexpr int kByteOfChannel[3] = {2, 1, 0};

std::uint8_t MoveTowards(std::uint8_t value, std::uint8_t orig, std::uint8_t by) {
  return static_cast<std::uint8_t>(value > orig ? value - by : value + by);
}

// Round(change / top x (top - limit)) for every change 0..top: scales the
// largest change down to the limit and the others in proportion.
std::array<std::uint8_t, 256> CutTable(std::int32_t top, std::int32_t limit) {
  std::array<std::uint8_t, 256> cut{};
  for (int change = 0; change <= top && change < 256; ++change) {
    const Extended r = static_cast<Extended>(change) / top * (top - limit);
    cut[change] = static_cast<std::uint8_t>(Round(r));
  }
  return cut;
}

}  // namespace

void TChangeTops::Merge(const TChangeTops& other) {
  for (int c = 0; c < 3; ++c) {
    General[c] = std::max(General[c], other.General[c]);
    Local[c] = std::max(Local[c], other.Local[c]);
  }
}

// Only the top of each difference histogram matters, which is the largest
// value it counts; so the scan keeps the maxima instead of the histograms.
TChangeTops MeasureChanges(const Image& image, const Image& orig, std::int32_t rowBegin,
                           std::int32_t rowEnd) {
  // Plain locals per channel keep the loop tight.
  int topRed = 0, topGreen = 0, topBlue = 0, localRed = 0, localGreen = 0, localBlue = 0;
  const std::int32_t width = image.Width();
  for (std::int32_t y = rowBegin; y < rowEnd; ++y) {
    const std::uint8_t* v = image.Row(y);
    const std::uint8_t* o = orig.Row(y);
    for (std::int32_t x = 0; x < width; ++x, v += 3, o += 3) {
      const int blue = std::abs(v[0] - o[0]);
      const int green = std::abs(v[1] - o[1]);
      const int red = std::abs(v[2] - o[2]);
      const int m = std::min(red, std::min(green, blue));
      topRed = std::max(topRed, red);
      topGreen = std::max(topGreen, green);
      topBlue = std::max(topBlue, blue);
      localRed = std::max(localRed, red - m);
      localGreen = std::max(localGreen, green - m);
      localBlue = std::max(localBlue, blue - m);
    }
  }
  TChangeTops tops;
  tops.General = {topRed, topGreen, topBlue};
  tops.Local = {localRed, localGreen, localBlue};
  return tops;
}

// A limit below 0 would push values past their original and out of 0..255;
// it is treated as 0 (every change undone).  A channel whose top does not
// exceed a limit keeps a table of zeros for it: nothing moves.
TChangeCuts PlanChangeCuts(const TChangeTops& tops, std::int32_t localLimit,
                           std::int32_t generalLimit) {
  localLimit = std::max(localLimit, 0);
  generalLimit = std::max(generalLimit, 0);
  TChangeCuts cuts;
  for (int c = 0; c < 3; ++c) {
    if (localLimit < tops.Local[c]) cuts.Local[c] = CutTable(tops.Local[c], localLimit);
    if (generalLimit < tops.General[c]) cuts.General[c] = CutTable(tops.General[c], generalLimit);
  }
  return cuts;
}

void ApplyChangeCuts(Image& image, const Image& orig, const TChangeCuts& cuts,
                     std::int32_t rowBegin, std::int32_t rowEnd) {
  const auto& localRed = cuts.Local[0];
  const auto& localGreen = cuts.Local[1];
  const auto& localBlue = cuts.Local[2];
  const auto& generalRed = cuts.General[0];
  const auto& generalGreen = cuts.General[1];
  const auto& generalBlue = cuts.General[2];
  const std::int32_t width = image.Width();
  for (std::int32_t y = rowBegin; y < rowEnd; ++y) {
    std::uint8_t* v = image.Row(y);
    const std::uint8_t* o = orig.Row(y);
    for (std::int32_t x = 0; x < width; ++x, v += 3, o += 3) {
      const int blue = std::abs(v[0] - o[0]);
      const int green = std::abs(v[1] - o[1]);
      const int red = std::abs(v[2] - o[2]);
      // The smallest change is taken before any channel of the pixel moves.
      const int m = std::min(red, std::min(green, blue));
      v[2] = MoveTowards(v[2], o[2], localRed[red - m]);
      v[1] = MoveTowards(v[1], o[1], localGreen[green - m]);
      v[0] = MoveTowards(v[0], o[0], localBlue[blue - m]);
      v[2] = MoveTowards(v[2], o[2], generalRed[std::abs(v[2] - o[2])]);
      v[1] = MoveTowards(v[1], o[1], generalGreen[std::abs(v[1] - o[1])]);
      v[0] = MoveTowards(v[0], o[0], generalBlue[std::abs(v[0] - o[0])]);
    }
  }
}

// Both scans run in bands over the band pool; the tops of the bands are
// maxima, so merging them gives the picture's tops whatever the split.
void LimitChanges(Image& image, const Image& orig, std::int32_t localLimit,
                  std::int32_t generalLimit) {
  const RowBands bands = PictureBands(image.Height());
  std::vector<TChangeTops> bandTops(static_cast<std::size_t>(bands.Count()));
  RunBands(bands, [&](int b, std::int32_t first, std::int32_t end) {
    bandTops[static_cast<std::size_t>(b)] = MeasureChanges(image, orig, first, end);
  });
  TChangeTops tops;
  for (const TChangeTops& band : bandTops) tops.Merge(band);
  const TChangeCuts cuts = PlanChangeCuts(tops, localLimit, generalLimit);
  RunBands(bands, [&](int, std::int32_t first, std::int32_t end) {
    ApplyChangeCuts(image, orig, cuts, first, end);
  });
}

namespace {

// Divides all three values by n[c] / 255 when n[c] exceeds 255; the divisor
// is taken once, before any of the three divisions.
void BringDownTo255(Extended n[3], int c) {
  if (n[c] > 255) {
    const Extended divisor = n[c] / 255;
    n[0] = n[0] / divisor;
    n[1] = n[1] / divisor;
    n[2] = n[2] / divisor;
  }
}

}  // namespace

void RestoreColorRatioRows(Image& image, const Image& orig, std::int32_t rowBegin,
                           std::int32_t rowEnd) {
  const std::int32_t width = image.Width();
  for (std::int32_t y = rowBegin; y < rowEnd; ++y) {
    std::uint8_t* v = image.Row(y);
    const std::uint8_t* o = orig.Row(y);
    for (std::int32_t x = 0; x < width; ++x, v += 3, o += 3) {
      // An untouched pixel would come back as it is.
      if (v[0] == o[0] && v[1] == o[1] && v[2] == o[2]) continue;
      int vc[3], oc[3];
      for (int c = 0; c < 3; ++c) {
        oc[c] = o[kByteOfChannel[c]];
        vc[c] = v[kByteOfChannel[c]];
        // A bright value knocked down to 0 counts as fully bright.
        if (oc[c] > 230 && vc[c] == 0) vc[c] = 255;
      }
      const Extended w = SafeDiv(vc[0] + vc[1] + vc[2], oc[0] + oc[1] + oc[2], 0);
      Extended n[3];
      for (int c = 0; c < 3; ++c) n[c] = oc[c] * w;
      for (int c = 0; c < 3; ++c) BringDownTo255(n, c);
      for (int c = 0; c < 3; ++c)
        v[kByteOfChannel[c]] = static_cast<std::uint8_t>(std::clamp<std::int64_t>(Round(n[c]), 0, 255));
    }
  }
}

void RestoreColorRatios(Image& image, const Image& orig) {
  ForEachRowBand(image.Height(), [&](int, std::int32_t first, std::int32_t end) {
    RestoreColorRatioRows(image, orig, first, end);
  });
}

}  // namespace tavren
