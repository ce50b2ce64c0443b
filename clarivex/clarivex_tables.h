// The steps of the haze removal, each a function of its inputs, so that
// they can be checked one by one.
#pragma once

#include <array>
#include <cstdint>

#include "clarivex/clarivex.h"
#include "histogram/hist.h"
#include "histogram/level_census.h"

namespace tavren::clarivex {

using Counts = std::array<std::int32_t, 256>;
using LevelMap = std::array<double, 256>;

// The tail threshold: Round(n x (P / 100)) with the tail share P of the
// strength (0.1 % at Weak and Normal, 1 % at Strong).
std::int64_t TailThreshold(std::int32_t n, std::uint8_t strength);

// The nearly empty dark and bright ends of one channel.
TEmptyAreaCh FindEmptyAreas(const Counts& c, std::int32_t n, std::uint8_t strength);

// Makes the channels agree: the narrowest dark area and the narrowest
// bright area of the active channels are used by all three.
void SuppressColorDistortion(TEmptyAreaT& areas);

// The real output level of every input level.
LevelMap BuildLevelMap(const TEmptyAreaCh& area);

struct TLevelSplit {
  std::int32_t Level = 0;      // Trunc of the mapped level
  std::int32_t LowCount = 0;   // pixels still to be written as Level
  std::int32_t HighCount = 0;  // pixels still to be written as Level + 1
};
struct TPeakSpread {
  std::int32_t Lower = 0;  // pixels arriving here still to move one level down
  std::int32_t Raise = 0;  // then pixels still to move one level up
};

// One channel's tables.
struct ChannelTables {
  std::array<TLevelSplit, 256> Split{};
  std::array<std::int32_t, 256> Rounded{};    // Round of each mapped level
  std::array<std::int32_t, 257> Predicted{};  // the histogram after the split
  std::array<TPeakSpread, 256> Spread{};
};

// The split of every input level between Trunc(M) and Trunc(M) + 1, and the
// histogram that split will give.
void BuildSplit(const LevelMap& map, const Counts& c, ChannelTables& tables);

// Spreads the spikes that crowding input levels into one output level would
// create: of the pixels landing on such a level, s go one level down and s
// one level up.
void BuildPeakSpread(const TEmptyAreaCh& area, const Counts& c, ChannelTables& tables);

// Rewrites every pixel, in scan order: first the split, then the spread, each
// for red, green and blue.  tables[0] is red, [1] green, [2] blue.
void ApplyTables(Image& image, std::array<ChannelTables, 3>& tables);

// The same in the census's bands, over the band pool; gives the same bytes.
// Each band works on its own copy of the tables.  With along (in the same
// bands), every finished row is counted for the next step.
void ApplyTables(Image& image, const std::array<ChannelTables, 3>& tables,
                 const TLevelCensus& census, TCensusAlong* along = nullptr);

}  // namespace tavren::clarivex
