// Exact histogram matching.  For every channel a journal says, for
// each source level, to which target levels how many of its pixels move;
// the picture is then walked once in scan order and each pixel takes the
// next move of its level, so the first pixels met take the lowest targets.
#include "histogram/match.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

namespace tavren {

namespace {

struct Move {
  std::int32_t Level;
  std::int32_t Count;
};

// The moves of one channel: the list of source level r is
// moves[begin[r] .. begin[r + 1]).
struct ChannelJournal {
  std::vector<Move> Moves;
  std::array<std::int32_t, 257> Begin{};
  std::array<std::int32_t, 256> Cursor{};  // first move that may still have room
};

// Pairs the source levels, lowest first, with the target levels, lowest
// first: a source level's pixels fill the lowest target levels not yet full.
void BuildChannelJournal(const THistogram& source, const THistogram& target,
                         ChannelJournal& journal) {
  journal.Moves.clear();
  std::array<std::int32_t, 256> used{};
  int t = 0;  // the lowest level that is not yet full; it never moves back
  int r = 0;
  for (; r < 256; ++r) {
    journal.Begin[r] = static_cast<std::int32_t>(journal.Moves.size());
    while (t < 256 && used[t] >= target[t]) ++t;
    if (t == 256) break;  // every target level is full
    std::int32_t remaining = source[r];
    for (int level = t; remaining > 0 && level <= 255; ++level) {
      const std::int32_t free = target[level] - used[level];
      const std::int32_t count = free < remaining ? free : remaining;
      remaining -= count;
      used[level] += count;
      journal.Moves.push_back({level, count});
    }
  }
  for (; r <= 256; ++r) journal.Begin[r] = static_cast<std::int32_t>(journal.Moves.size());
  for (int v = 0; v < 256; ++v) journal.Cursor[v] = journal.Begin[v];
}

// The new value of a pixel whose channel holds v.  A list of one move sends
// every pixel there; otherwise the first move with room takes the pixel.
// With no move left the value stays.
inline std::uint8_t TakeLevel(ChannelJournal& journal, std::uint8_t v) {
  const std::int32_t begin = journal.Begin[v];
  const std::int32_t end = journal.Begin[v + 1];
  if (end - begin == 1) return static_cast<std::uint8_t>(journal.Moves[begin].Level);
  std::int32_t& cursor = journal.Cursor[v];
  while (cursor < end && journal.Moves[cursor].Count <= 0) ++cursor;
  if (cursor == end) return v;
  --journal.Moves[cursor].Count;
  return static_cast<std::uint8_t>(journal.Moves[cursor].Level);
}

// Brings a journal to where the scan-order walk leaves it after meeting
// `before[v]` pixels of every level v: each of them takes the next move of
// its level as TakeLevel would.
void SkipPixels(ChannelJournal& journal, const std::array<std::int32_t, 256>& before) {
  for (int v = 0; v < 256; ++v) {
    std::int64_t pending = before[v];
    const std::int32_t end = journal.Begin[v + 1];
    if (pending == 0 || end - journal.Begin[v] == 1) continue;
    std::int32_t& cursor = journal.Cursor[v];
    while (pending > 0 && cursor < end) {
      std::int32_t& count = journal.Moves[cursor].Count;
      if (count <= 0) {
        ++cursor;
        continue;
      }
      const std::int32_t taken = static_cast<std::int32_t>(std::min<std::int64_t>(pending, count));
      count -= taken;
      pending -= taken;
    }
  }
}

void WalkRows(Image& image, std::int32_t firstRow, std::int32_t endRow, ChannelJournal& red,
              ChannelJournal& green, ChannelJournal& blue) {
  for (std::int32_t y = firstRow; y < endRow; ++y) {
    std::uint8_t* p = image.Row(y);
    for (std::int32_t x = 0; x < image.Width(); ++x, p += 3) {
      p[2] = TakeLevel(red, p[2]);
      p[1] = TakeLevel(green, p[1]);
      p[0] = TakeLevel(blue, p[0]);
    }
  }
}

// The state of level v at the journal's cursor: its move's level and room,
// or the level itself, unlimited, when no move is left.
LevelState StateAt(ChannelJournal& journal, int v) {
  const std::int32_t begin = journal.Begin[v];
  const std::int32_t end = journal.Begin[v + 1];
  if (end - begin == 1) return {kNoLimit, static_cast<std::uint8_t>(journal.Moves[begin].Level)};
  std::int32_t& cursor = journal.Cursor[v];
  while (cursor < end && journal.Moves[cursor].Count <= 0) ++cursor;
  if (cursor == end) return {kNoLimit, static_cast<std::uint8_t>(v)};
  return {journal.Moves[cursor].Count, static_cast<std::uint8_t>(journal.Moves[cursor].Level)};
}

LevelStates StatesOf(ChannelJournal& journal) {
  LevelStates states;
  for (int v = 0; v < 256; ++v) states[static_cast<std::size_t>(v)] = StateAt(journal, v);
  return states;
}

// A move of level v is used up: its pixels were counted by the state, so the
// move is emptied and the next one with room begins.
void NextMove(ChannelJournal& journal, int v, LevelState& state) {
  journal.Moves[journal.Cursor[v]].Count = 0;
  state = StateAt(journal, v);
}

// The rows of one band, each pixel taking the next move of its level as
// TakeLevel would, with the count of the current move kept at hand.  Each
// row's new values go to remapped's row or, without remapped, to a row of
// the band's own; each value is read before its new one is written, so
// remapped may be source.
void WalkBandRows(const Image& source, Image* remapped, int band, std::int32_t firstRow,
                  std::int32_t endRow, ChannelJournal* const byByte[3],
                  const TRemappedRow& rowDone) {
  LevelStates states[3] = {StatesOf(*byByte[0]), StatesOf(*byByte[1]), StatesOf(*byByte[2])};
  std::vector<std::uint8_t> ownRow(remapped == nullptr ? source.Stride() : 0);
  for (std::int32_t y = firstRow; y < endRow; ++y) {
    const std::uint8_t* p = source.Row(y);
    std::uint8_t* const row = remapped != nullptr ? remapped->Row(y) : ownRow.data();
    std::uint8_t* out = row;
    for (std::int32_t x = 0; x < source.Width(); ++x, p += 3, out += 3) {
      for (int i = 0; i < 3; ++i) {
        const std::uint8_t v = p[i];
        LevelState& state = states[i][v];
        out[i] = state.Value;
        if (--state.Left == 0) NextMove(*byByte[i], v, state);
      }
    }
    if (rowDone) rowDone(band, y, row);
  }
}

}  // namespace

struct TMatchPlan::TJournals {
  ChannelJournal Red, Green, Blue;
};

namespace {

using Journals = TMatchPlan::TJournals;

// The journals of the three channels; false when nothing is to be done.
bool PlanMatch(const Image& image, THistSet& target, const THistSet& own, Journals& j) {
  std::int32_t n = 0;
  if (!ImagePixelCount(image, n)) return false;
  if (!target[hcRed].Ready || !target[hcGreen].Ready || !target[hcBlue].Ready) return false;
  THist().NormalizeRGB(target, n, false);
  BuildChannelJournal(own[hcRed], target[hcRed], j.Red);
  BuildChannelJournal(own[hcGreen], target[hcGreen], j.Green);
  BuildChannelJournal(own[hcBlue], target[hcBlue], j.Blue);
  return true;
}

}  // namespace

void MatchHistogramInScanOrder(Image& image, THistSet target) {
  THistSet own;
  THist().Gather(image, own);
  Journals j;
  if (!PlanMatch(image, target, own, j)) return;
  WalkRows(image, 0, image.Height(), j.Red, j.Green, j.Blue);
}

TMatchPlan::TMatchPlan(const Image& picture, THistSet target, const TLevelCensus& census)
    : journals_(std::make_unique<TJournals>()), census_(census) {
  THistSet own;
  FillHistSet(census.Total, own);
  planned_ = PlanMatch(picture, target, own, *journals_);
}

TMatchPlan::~TMatchPlan() = default;

// A level's pixels take the levels of its moves, or stay; the moves of a
// level run over consecutive levels, so the farthest is one of its ends.
std::array<std::int32_t, 3> TMatchPlan::LargestChanges() const {
  std::array<std::int32_t, 3> largest{};
  if (!planned_) return largest;
  const ChannelJournal* const byByte[3] = {&journals_->Blue, &journals_->Green, &journals_->Red};
  for (int b = 0; b < 3; ++b) {
    const ChannelJournal& journal = *byByte[b];
    for (int r = 0; r < 256; ++r)
      for (std::int32_t m = journal.Begin[r]; m < journal.Begin[r + 1]; ++m)
        largest[b] = std::max(largest[b], std::abs(journal.Moves[m].Level - r));
  }
  return largest;
}

void TMatchPlan::Walk(const Image& picture, Image* remapped, const TRemappedRow& rowDone) const {
  // Each band starts from its own copy of the journals, advanced past the
  // pixels of the bands above it.
  RunBands(census_.Bands, [&](int b, std::int32_t first, std::int32_t end) {
    Journals band = *journals_;
    const TLevelCounts& before = census_.Before[static_cast<std::size_t>(b)];
    SkipPixels(band.Red, before[2]);
    SkipPixels(band.Green, before[1]);
    SkipPixels(band.Blue, before[0]);
    ChannelJournal* const byByte[3] = {&band.Blue, &band.Green, &band.Red};
    WalkBandRows(picture, remapped, b, first, end, byByte, rowDone);
  });
}

void MatchHistogram(Image& image, THistSet target, const TLevelCensus& census) {
  const TMatchPlan plan(image, std::move(target), census);
  if (plan.Planned()) plan.Walk(image, &image, nullptr);
}

void MatchHistogram(Image& image, THistSet target) {
  TLevelCensus census;
  TakeCensus(image, PictureBands(image.Height()), census);
  MatchHistogram(image, std::move(target), census);
}

}  // namespace tavren
