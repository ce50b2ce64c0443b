#include "histogram/level_census.h"

#include <system_error>

namespace tavren {

namespace {

// Two tables per byte, for even and odd pixels, so that neighbouring
// pixels of one level do not wait on each other's increment.
using EvenOddCounts = std::array<std::array<std::int32_t, 256>, 6>;

void CountRow(const std::uint8_t* p, std::int32_t width, EvenOddCounts& t) {
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

void FoldEvenOdd(const EvenOddCounts& t, TLevelCounts& counts) {
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < 256; ++v) counts[c][v] = t[c][v] + t[c + 3][v];
}

}  // namespace

void CountLevels(const Image& image, std::int32_t firstRow, std::int32_t endRow,
                 TLevelCounts& counts) {
  EvenOddCounts t{};
  for (std::int32_t y = firstRow; y < endRow; ++y) CountRow(image.Row(y), image.Width(), t);
  FoldEvenOdd(t, counts);
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

TCensusAlong::TCensusAlong(const RowBands& bands)
    : bands_(bands), counts_(static_cast<std::size_t>(bands.Count())) {}

void TCensusAlong::Row(int band, const Image& image, std::int32_t y) {
  CountRow(image.Row(y), image.Width(), counts_[static_cast<std::size_t>(band)]);
}

void TCensusAlong::Finish(TLevelCensus& census) const {
  std::vector<TLevelCounts> perBand(counts_.size());
  for (std::size_t b = 0; b < counts_.size(); ++b) FoldEvenOdd(counts_[b], perBand[b]);
  CensusFromBandCounts(bands_, perBand, census);
}

TCensusWhileWriting::~TCensusWhileWriting() { Stop(); }

void TCensusWhileWriting::Start(const Image& image) {
  Stop();
  counter_.reset();
  if (BandPool().Size() < 2) return;  // one core: counting afterwards costs the same
  image_ = &image;
  height_ = image.Height();
  counter_ = std::make_unique<TCensusAlong>(PictureBands(height_));
  written_ = 0;  // no follower runs here: Stop joined it
  stopping_ = false;
  counted_ = 0;
  try {
    thread_ = std::thread([this] { Follow(); });
  } catch (const std::system_error&) {
    counter_.reset();  // no thread to spare: the processing counts itself
  }
}

bool TCensusWhileWriting::Written(std::int32_t rows) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    written_ = rows;
  }
  signal_.notify_one();
  return true;
}

void TCensusWhileWriting::Stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  signal_.notify_one();
  if (thread_.joinable()) thread_.join();
  image_ = nullptr;
}

bool TCensusWhileWriting::Take(TLevelCensus& census) {
  Stop();
  if (counter_ == nullptr || counted_ != height_) return false;
  counter_->Finish(census);
  counter_.reset();
  return true;
}

// Counts the rows the decoder has finished, band by band, and sleeps while
// it has caught up with it; after Stop it counts what was written and ends
// (the decoder writes no row after it stops the follower).
void TCensusWhileWriting::Follow() {
  const RowBands& bands = counter_->Bands();
  int band = 0;
  for (;;) {
    std::int32_t ready = 0;
    bool stopping = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      signal_.wait(lock, [&] { return stopping_ || written_ > counted_; });
      ready = written_;
      stopping = stopping_;
    }
    for (; counted_ < ready; ++counted_) {
      while (counted_ >= bands.Begin(band + 1)) ++band;
      counter_->Row(band, *image_, counted_);
    }
    if (counted_ == height_ || stopping) return;
  }
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
