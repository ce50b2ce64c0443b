// Exact histogram matching of a working image, channel by channel.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "histogram/hist.h"
#include "histogram/level_census.h"

namespace tavren {

// Remaps the red, green and blue values of every pixel so that each channel's
// histogram becomes target's hcRed, hcGreen, hcBlue (rescaled to the pixel
// count first).  Pixels of one level move in scan order: the first ones met
// take the lowest target levels.
// The rows are worked on in bands over the band pool, with the same result.
void MatchHistogram(Image& image, THistSet target);

// The same, for a picture whose census (in the bands to work in) is at hand.
void MatchHistogram(Image& image, THistSet target, const TLevelCensus& census);

// Called for every row a walk finished, with the row's new values (at
// hand only during the call), from the thread that works on its band.
using TRemappedRow = std::function<void(int band, std::int32_t y, std::uint8_t* values)>;

// A match planned for a picture with a given census: which levels the
// pixels of each level take, in scan order.
class TMatchPlan {
 public:
  // The plan for remapping picture onto target (rescaled to its pixel
  // count first); census must outlive the plan.
  TMatchPlan(const Image& picture, THistSet target, const TLevelCensus& census);
  ~TMatchPlan();
  TMatchPlan(const TMatchPlan&) = delete;
  TMatchPlan& operator=(const TMatchPlan&) = delete;

  // False when there is nothing to remap: no pixels, or a target not ready.
  bool Planned() const { return planned_; }
  // For each pixel byte (0 blue, 1 green, 2 red), a change that no value's
  // change exceeds: known before a single pixel is walked.
  std::array<std::int32_t, 3> LargestChanges() const;
  // Walks the picture in the census's bands, writing each row's new values
  // to remapped's row (remapped may be the picture itself) or, without
  // remapped, to a row the band keeps, and handing them to rowDone.  The
  // picture is only read, one row after the other: rowDone may overwrite
  // the row it is given, the picture's own included.
  void Walk(const Image& picture, Image* remapped, const TRemappedRow& rowDone) const;

  struct TJournals;

 private:
  std::unique_ptr<TJournals> journals_;
  const TLevelCensus& census_;
  bool planned_ = false;
};

// The straightforward walk from the top row to the bottom one; the banded
// version must give the same bytes.
void MatchHistogramInScanOrder(Image& image, THistSet target);

}  // namespace tavren
