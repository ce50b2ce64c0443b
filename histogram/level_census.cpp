#include "histogram/level_census.h"

namespace tavren {

void CountLevels(const Image& image, std::int32_t firstRow, std::int32_t endRow,
                 TLevelCounts& counts) {
  // Two tables per byte, for even and odd pixels, so that neighbouring
  // pixels of one level do not wait on each other's increment.
  std::array<std::array<std::int32_t, 256>, 6> t{};
  const std::int32_t width = image.Width();
  for (std::int32_t y = firstRow; y < endRow; ++y) {
    const std::uint8_t* p = image.Row(y);
    std::int32_t x = 0;
    for (; x + 1 < width; x += 2, p += 6) {
      ++t[0][p[0]];
      ++t[1][p[1]];
      ++t[2][p[2]];
      ++t[3][p[3]];
      ++t[4][p[4]];
      ++t[5][p[5]];
    }
    if (x < width) {
      ++t[0][p[0]];
      ++t[1][p[1]];
      ++t[2][p[2]];
    }
  }
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < 256; ++v) counts[c][v] = t[c][v] + t[c + 3][v];
}

void CensusFromBandCounts(const RowBands& bands, const std::vector<TLevelCounts>& perBand,
                          TLevelCensus& census) {
  census.Bands = bands;
  census.Before.resize(static_cast<std::size_t>(bands.Count()));
  TLevelCounts running{};
  for (int b = 0; b < bands.Count(); ++b) {
    census.Before[static_cast<std::size_t>(b)] = running;
    const TLevelCounts& band = perBand[static_cast<std::size_t>(b)];
    for (int c = 0; c < 3; ++c)
      for (int v = 0; v < 256; ++v) running[c][v] += band[c][v];
  }
  census.Total = running;
}

void TakeCensus(const Image& image, const RowBands& bands, TLevelCensus& census) {
  std::vector<TLevelCounts> perBand(static_cast<std::size_t>(bands.Count()));
  RunBands(bands, [&](int b, std::int32_t first, std::int32_t end) {
    CountLevels(image, first, end, perBand[static_cast<std::size_t>(b)]);
  });
  CensusFromBandCounts(bands, perBand, census);
}

void FillHistSet(const TLevelCounts& total, THistSet& hists) {
  THist hist;
  hist.InitSet(hists);
  constexpr int kChannelOfByte[3] = {hcBlue, hcGreen, hcRed};
  for (int c = 0; c < 3; ++c)
    std::copy(total[c].begin(), total[c].end(), hists[kChannelOfByte[c]].Bins.begin());
  for (int v = 0; v < 256; ++v)
    hists[hcSum][v] = hists[hcRed][v] + hists[hcGreen][v] + hists[hcBlue][v];
  hist.UpdatePeaksAll(hists, true);
  hist.SetReadyAll(hists, true);
}

}  // namespace tavren
