// Histogram gathering, histogram matching and Clarivex on a 12-megapixel
// photo (a corpus photo stretched to 4000 x 3000; a generated picture when
// the corpus is absent).
#include <benchmark/benchmark.h>

#include <filesystem>

#include "clarivex/clarivex.h"
#include "histogram/hist.h"
#include "histogram/match.h"
#include "imaging/stretch.h"
#include "picture_io/picture_files.h"

namespace tavren {
namespace {

const Image& Photo12MP() {
  static const Image photo = [] {
    Image target(4000, 3000);
    const std::filesystem::path source =
        std::filesystem::path(TAVREN_CORPUS_DIR) / "hdr" / "iphone_hdr_YES.jpg";
    if (std::filesystem::exists(source)) {
      StretchNearest(LoadPicture(source.string()), target);
    } else {
      for (std::size_t i = 0; i < target.ByteSize(); ++i)
        target.Data()[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 24);
    }
    return target;
  }();
  return photo;
}

void BM_Gather(benchmark::State& state) {
  const Image& photo = Photo12MP();
  THist hist;
  THistSet set;
  for (auto _ : state) {
    hist.Gather(photo, set);
    benchmark::DoNotOptimize(set[hcSum].PeakCount);
  }
  state.SetItemsProcessed(state.iterations() * photo.Width() * photo.Height());
}
BENCHMARK(BM_Gather)->Unit(benchmark::kMillisecond);

void BM_MatchHistogram(benchmark::State& state) {
  const Image& photo = Photo12MP();
  THist hist;
  THistSet target;
  hist.InitSet(target);
  for (int c : {hcRed, hcGreen, hcBlue}) hist.FromTemplate(target[c], 1000000);
  Image work;
  for (auto _ : state) {
    state.PauseTiming();
    work.Assign(photo);
    state.ResumeTiming();
    MatchHistogram(work, target);
  }
  state.SetItemsProcessed(state.iterations() * photo.Width() * photo.Height());
}
BENCHMARK(BM_MatchHistogram)->Unit(benchmark::kMillisecond);

void BM_Clarivex(benchmark::State& state) {
  const Image& photo = Photo12MP();
  const auto strength = static_cast<std::uint8_t>(state.range(0));
  TClarivex clarivex;
  Image work;
  for (auto _ : state) {
    state.PauseTiming();
    work.Assign(photo);
    state.ResumeTiming();
    clarivex.Process(work, strength, false);
  }
  state.SetItemsProcessed(state.iterations() * photo.Width() * photo.Height());
}
BENCHMARK(BM_Clarivex)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavren
