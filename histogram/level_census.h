// The levels of a picture counted band by band.
//
// The kernels that consume counters in scan order (the histogram matching,
// the haze removal's level split) work on bands of rows at once.  Each band
// needs to know how many values of each level the rows above it hold, so
// that it starts where the straightforward top-to-bottom walk would be when
// reaching its first row.  The census gives exactly that, and its totals
// are the picture's histograms.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "histogram/hist.h"
#include "imaging/image.h"
#include "imaging/row_follower.h"
#include "imaging/thread_pool.h"

namespace tavren {

// Counts per pixel byte (0 blue, 1 green, 2 red) and level.
using TLevelCounts = std::array<std::array<std::int32_t, 256>, 3>;

struct TLevelCensus {
  RowBands Bands{0, 1};
  std::vector<TLevelCounts> Before;  // entry b: the levels of the rows above band b
  TLevelCounts Total{};              // the whole picture
};

// Where a band's scan-order walk stands for one level: the value the
// level's next pixels take, and how many may still take it before the next
// counter of that level starts (kNoLimit: all that are left).  The walks
// keep these at hand instead of looking through their tables per pixel.
struct LevelState {
  std::int32_t Left;
  std::uint8_t Value;
};
using LevelStates = std::array<LevelState, 256>;
inline constexpr std::int32_t kNoLimit = std::numeric_limits<std::int32_t>::max();

// Counts the levels of rows [firstRow, endRow) into counts (cleared first).
void CountLevels(const Image& image, std::int32_t firstRow, std::int32_t endRow,
                 TLevelCounts& counts);

// Counts image in the given bands (run over the band pool).
void TakeCensus(const Image& image, const RowBands& bands, TLevelCensus& census);

// The census of a picture counted by the banded sweep that writes its
// values, each row while it is at hand, so that the next step needs no pass
// of its own to count them.  The sweep calls Row for every row it
// finished, from the thread that works on that row's band.
class TCensusAlong {
 public:
  explicit TCensusAlong(const RowBands& bands);
  const RowBands& Bands() const { return bands_; }
  void Row(int band, const Image& image, std::int32_t y);
  void Finish(TLevelCensus& census) const;

 private:
  using EvenOddCounts = std::array<std::array<std::int32_t, 256>, 6>;
  RowBands bands_;
  std::vector<EvenOddCounts> counts_;  // per band
};

// The census of a picture counted while it is decoded, by a thread of its
// own that follows the decoder row by row (on a second core the counting
// then costs no time of its own).  Without a second thread it counts
// nothing and has no census to give.
class TCensusWhileWriting : public TRowFollower {
 public:
  TCensusWhileWriting() = default;
  ~TCensusWhileWriting() override;
  TCensusWhileWriting(const TCensusWhileWriting&) = delete;
  TCensusWhileWriting& operator=(const TCensusWhileWriting&) = delete;

  void Start(const Image& image) override;
  bool Written(std::int32_t rows) override;
  void Stop() override;
  // The census, in the bands of the thread that started the decoding, when
  // every row was counted.
  bool Take(TLevelCensus& census);

 private:
  void Follow();

  const Image* image_ = nullptr;  // while it is being written
  std::int32_t height_ = 0;
  std::unique_ptr<TCensusAlong> counter_;
  // A mutex and a condition rather than atomic waiting: the C++ runtime of
  // the Windows build (no futex beneath it) can miss an atomic's notice,
  // and the decoding then waited for ever on the follower.
  std::mutex mutex_;
  std::condition_variable signal_;  // written_ or stopping_ changed
  std::int32_t written_ = 0;        // under mutex_
  bool stopping_ = false;           // under mutex_
  std::int32_t counted_ = 0;        // by the following thread; read after Stop
  std::thread thread_;
};

// What a step asks of the sweep before it: the census of the values that
// sweep writes.
struct TTakeAlong {
  bool Taken = false;  // set by the sweep that filled census
  TLevelCensus Census;
};

// Turns per-band counts (entry b: the levels of band b) into the census.
void CensusFromBandCounts(const RowBands& bands, const std::vector<TLevelCounts>& perBand,
                          TLevelCensus& census);

// The histogram set THist::Gather gives for a picture with these totals.
void FillHistSet(const TLevelCounts& total, THistSet& hists);

}  // namespace tavren
