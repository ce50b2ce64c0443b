// The processing types on a 12-megapixel photo (what saving computes) and on
// a base image fitted to a 1920 x 1080 view (what opening computes, three
// times).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "enhance/base_image.h"
#include "imaging/stretch.h"
#include "picture_io/picture_files.h"
#include "workflow/process_engine.h"

namespace {

using namespace tavren;

// The corpus's phone photo brought to 4000 x 3000 by the nearest-neighbour
// stretch; a generated picture when the corpus is absent.
const Image& TwelveMegapixels() {
  static const Image picture = [] {
    Image big(4000, 3000);
    const std::filesystem::path photo =
        std::filesystem::path(TAVREN_CORPUS_DIR) / "hdr/iphone_hdr_NO.jpg";
    if (std::filesystem::exists(photo)) {
      StretchNearest(LoadPicture(photo.string()), big);
    } else {
      for (std::int32_t y = 0; y < big.Height(); ++y)
        for (std::int32_t x = 0; x < big.Width(); ++x)
          for (int c = 0; c < 3; ++c)
            big.Row(y)[3 * x + c] =
                static_cast<std::uint8_t>(40 + (x / 20 + y / 15 + 30 * c) % 170);
    }
    return big;
  }();
  return picture;
}

const Image& FullHdBase() {
  static const Image base = *MakeBaseImage(TwelveMegapixels(), 1080, 1920).Picture;
  return base;
}

void RunType(benchmark::State& state, const Image& source) {
  const TTypePreset preset = TypePresets[static_cast<std::size_t>(state.range(0))];
  for (auto _ : state) {
    std::unique_ptr<Image> result = ProcessedCopy(source, preset);
    benchmark::DoNotOptimize(result->Data());
  }
  state.SetLabel(std::to_string(source.Width()) + "x" + std::to_string(source.Height()));
}

void BM_Type12MP(benchmark::State& state) { RunType(state, TwelveMegapixels()); }
void BM_TypeFullHdBase(benchmark::State& state) { RunType(state, FullHdBase()); }

void BM_AllTypesFullHdBase(benchmark::State& state) {
  TProcessEngine engine;
  for (auto _ : state) {
    TResultImages results;
    engine.ComputeTypes(FullHdBase(), AllTypes, results);
    benchmark::DoNotOptimize(results.Get(ptDeep));
  }
}

void BM_MakeBaseImage12MP(benchmark::State& state) {
  for (auto _ : state) {
    TBaseImage base = MakeBaseImage(TwelveMegapixels(), 1080, 1920);
    benchmark::DoNotOptimize(base.Picture->Data());
  }
}

// Arguments 1, 2, 3: Light, Normal, Deep.
BENCHMARK(BM_Type12MP)->DenseRange(1, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TypeFullHdBase)->DenseRange(1, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AllTypesFullHdBase)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MakeBaseImage12MP)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
