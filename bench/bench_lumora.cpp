// One tone-correction pass (amount 100, standard parameters) on a
// 12-megapixel picture and on a 1920 x 1080 one.  The pictures are the
// largest photo of the shared corpus stretched to those sizes, or a
// generated photo-like picture when the corpus is not there.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <utility>

#include "imaging/stretch.h"
#include "lumora/limits.h"
#include "lumora/lumora.h"
#include "lumora/restore_rows.h"
#include "picture_io/picture_files.h"

namespace {

using tavren::Image;

constexpr tavren::TLumoraParams kStandard{0, 0, 0, 0, 0.5, 51, 51};

Image Generated(std::int32_t width, std::int32_t height) {
  Image image(width, height);
  std::mt19937 random(7);
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* p = image.Row(y);
    for (std::int32_t x = 0; x < width; ++x, p += 3) {
      const double base = 60 + 60.0 * x / width + 30 * std::sin(6.0 * y / height);
      for (int b = 0; b < 3; ++b)
        p[b] = static_cast<std::uint8_t>(
            std::clamp(base * (0.8 + 0.15 * b) + static_cast<int>(random() % 9) - 4, 0.0, 255.0));
    }
  }
  return image;
}

Image Source() {
  const std::filesystem::path photo =
      std::filesystem::path(TAVREN_CORPUS_DIR) / "mobile" / "HMD_Nokia_8.3_5G.jpg";
  std::error_code ec;
  if (std::filesystem::is_regular_file(photo, ec)) return tavren::LoadPicture(photo.string());
  return Generated(4000, 3000);
}

const Image& PictureOfSize(std::int32_t width, std::int32_t height) {
  static std::map<std::pair<int, int>, Image> pictures;
  auto [it, added] = pictures.try_emplace({width, height});
  if (added) {
    static const Image source = Source();
    it->second.Reset(width, height);
    tavren::StretchNearest(source, it->second);
  }
  return it->second;
}

void BM_LumoraPass(benchmark::State& state) {
  const Image& picture = PictureOfSize(static_cast<std::int32_t>(state.range(0)),
                                       static_cast<std::int32_t>(state.range(1)));
  tavren::TLumora lumora;
  Image image;
  for (auto _ : state) {
    state.PauseTiming();
    image.Assign(picture);
    state.ResumeTiming();
    lumora.RunPass(image, 100, kStandard);
    benchmark::DoNotOptimize(image.Data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}
BENCHMARK(BM_LumoraPass)->Args({4000, 3000})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

// The per-pixel scans at the end of a pass, on the 12-megapixel picture and
// the result of one pass over it.
const Image& PassedPicture() {
  static const Image passed = [] {
    Image image = PictureOfSize(4000, 3000);
    tavren::TLumora().RunPass(image, 100, kStandard);
    return image;
  }();
  return passed;
}

// Times step(image, orig) on a fresh copy of the passed picture each round,
// the copying left out.
template <typename Step>
void TimeOnPassedPicture(benchmark::State& state, Step step) {
  const Image& orig = PictureOfSize(4000, 3000);
  Image image;
  for (auto _ : state) {
    state.PauseTiming();
    image.Assign(PassedPicture());
    state.ResumeTiming();
    step(image, orig);
  }
}

void BM_LumoraLimitChanges(benchmark::State& state) {
  TimeOnPassedPicture(state, [](Image& image, const Image& orig) {
    tavren::LimitChanges(image, orig, 21, 11);  // the tighter limits of artifact suppression
  });
}
BENCHMARK(BM_LumoraLimitChanges)->Unit(benchmark::kMillisecond);

void BM_LumoraRestoreColorRatios(benchmark::State& state) {
  TimeOnPassedPicture(
      state, [](Image& image, const Image& orig) { tavren::RestoreColorRatios(image, orig); });
}
BENCHMARK(BM_LumoraRestoreColorRatios)->Unit(benchmark::kMillisecond);

// The last sweep of a pass as the pass runs it: both limits at their
// standard 51, then the colour proportions, written over the picture.
void BM_LumoraLimitAndRestore(benchmark::State& state) {
  const Image& orig = PictureOfSize(4000, 3000);
  const Image& remapped = PassedPicture();
  const tavren::TChangeTops tops = tavren::MeasureChanges(remapped, orig, 0, orig.Height());
  Image picture;
  for (auto _ : state) {
    state.PauseTiming();
    picture.Assign(orig);
    state.ResumeTiming();
    tavren::LimitChangesAndRestoreOver(picture, remapped, tops, 51, 51,
                                       tavren::PictureBands(picture.Height()));
  }
}
BENCHMARK(BM_LumoraLimitAndRestore)->Unit(benchmark::kMillisecond);

void BM_LumoraMeasureChanges(benchmark::State& state) {
  const Image& orig = PictureOfSize(4000, 3000);
  const Image& passed = PassedPicture();
  for (auto _ : state) {
    const tavren::TChangeTops tops = tavren::MeasureChanges(passed, orig, 0, passed.Height());
    benchmark::DoNotOptimize(tops);
  }
}
BENCHMARK(BM_LumoraMeasureChanges)->Unit(benchmark::kMillisecond);

// With limits of 1, so that the cuts move pixels: this picture's changes
// stay within the usual limits, and cut tables of zeros are skipped.
void BM_LumoraApplyCuts(benchmark::State& state) {
  const tavren::TChangeCuts cuts = tavren::PlanChangeCuts(
      tavren::MeasureChanges(PassedPicture(), PictureOfSize(4000, 3000), 0, 3000), 1, 1);
  TimeOnPassedPicture(state, [&](Image& image, const Image& orig) {
    tavren::ApplyChangeCuts(image, orig, cuts, 0, image.Height());
  });
}
BENCHMARK(BM_LumoraApplyCuts)->Unit(benchmark::kMillisecond);

}  // namespace
