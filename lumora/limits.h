// The change limits of a pass: how far the remapping may move each channel
// value away from the original, as a whole (general) and beyond the pixel's
// smallest change (local).  Each scan works on a band of rows so that bands
// can be handed to several threads.
#pragma once

#include <array>
#include <cstdint>

#include "histogram/level_census.h"
#include "imaging/image.h"

namespace tavren {

// The largest change of each channel (General) and the largest excess of a
// channel's change over the pixel's smallest channel change (Local).
struct TChangeTops {
  std::array<std::int32_t, 3> General{};  // red, green, blue
  std::array<std::int32_t, 3> Local{};
  void Merge(const TChangeTops& other);
};

// How far each change is pulled back, per channel (red, green, blue) and
// size of change; all zeros for a limit that does not apply.
struct TChangeCuts {
  std::array<std::array<std::uint8_t, 256>, 3> Local{};
  std::array<std::array<std::uint8_t, 256>, 3> General{};
  // False when every table is zeros: no change reaches a limit, which is
  // the common case, and the cuts leave every pixel as it is.
  bool Any = false;
};

TChangeTops MeasureChanges(const Image& image, const Image& orig, std::int32_t rowBegin,
                           std::int32_t rowEnd);
TChangeCuts PlanChangeCuts(const TChangeTops& tops, std::int32_t localLimit,
                           std::int32_t generalLimit);
void ApplyChangeCuts(Image& image, const Image& orig, const TChangeCuts& cuts,
                     std::int32_t rowBegin, std::int32_t rowEnd);

// Local limit then general limit on how far image moved away from orig.
void LimitChanges(Image& image, const Image& orig, std::int32_t localLimit,
                  std::int32_t generalLimit);
// LimitChanges, then RestoreColorRatios, for a pass that remapped picture
// into remapped and measured the tops of the changes meanwhile: one sweep
// for both, in the given bands, which writes the result over picture and
// hands along, when given, every finished row.
void LimitChangesAndRestoreOver(Image& picture, const Image& remapped, const TChangeTops& tops,
                                std::int32_t localLimit, std::int32_t generalLimit,
                                const RowBands& bands, TCensusAlong* along = nullptr);

}  // namespace tavren
