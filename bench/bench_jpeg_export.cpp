// Saving and intake costs around the EXIF handling: the encoder alone, the
// whole save (segments, temporary file, sync, rename) with the default
// carry-over and with everything kept, the EXIF reading of
// a source, and turning a picture against a plain copy.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "jpeg_export/jpeg_encoder.h"
#include "jpeg_export/jpeg_export.h"
#include "picture_io/exif_reader.h"
#include "picture_io/orientation.h"

namespace {

using tavren::Image;

Image Noise(std::int32_t width, std::int32_t height) {
  Image image(width, height);
  std::mt19937 random(3);
  for (std::size_t i = 0; i < image.ByteSize(); ++i)
    image.Data()[i] = static_cast<std::uint8_t>(random() >> 24);
  return image;
}

// A photo-like picture: smooth gradients compress like real photos do.
Image Gradient(std::int32_t width, std::int32_t height) {
  Image image(width, height);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* p = image.Row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x * 255 / width);
      p[1] = static_cast<std::uint8_t>(y * 255 / height);
      p[2] = static_cast<std::uint8_t>((x + y) & 0xFF);
    }
  return image;
}

std::string TempFile(const char* name) {
  return (std::filesystem::temp_directory_path() /
          ("tavren-bench-" + std::to_string(::getpid()) + "-" + name))
      .string();
}

void BM_EncodeOnly(benchmark::State& state) {
  const Image image = Gradient(2000, 1500);
  for (auto _ : state) benchmark::DoNotOptimize(tavren::EncodeJpeg(image));
}
BENCHMARK(BM_EncodeOnly)->Unit(benchmark::kMillisecond);

// Argument 0: the default carry-over; 1: everything (--keep-metadata).
// The source has a colour profile, a maker's block and a thumbnail.
void BM_SaveJpegWithExif(benchmark::State& state) {
  const Image image = Gradient(2000, 1500);
  const std::string target = TempFile("save.jpg");
  const std::string source = std::string(TAVREN_CORPUS_DIR) + "/camera/Canon_40D.jpg";
  const auto carryOver = state.range(0) == 0 ? tavren::TMetadataCarryOver::MakeAndModel
                                             : tavren::TMetadataCarryOver::Everything;
  for (auto _ : state) tavren::SaveJpegWithExif(image, target, source, carryOver);
  std::remove(target.c_str());
}
BENCHMARK(BM_SaveJpegWithExif)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReadExifFromFile(benchmark::State& state) {
  const std::string source = std::string(TAVREN_CORPUS_DIR) + "/orientation/landscape_6.jpg";
  for (auto _ : state) {
    tavren::TExif exif;
    exif.ReadFromFile(source);
    benchmark::DoNotOptimize(exif.Orientation);
  }
}
BENCHMARK(BM_ReadExifFromFile)->Unit(benchmark::kMicrosecond);

void BM_CopyPicture(benchmark::State& state) {
  const Image image = Noise(4000, 3000);
  for (auto _ : state) {
    Image copy = image;
    benchmark::DoNotOptimize(copy.Data());
  }
}
BENCHMARK(BM_CopyPicture)->Unit(benchmark::kMillisecond);

void BM_ApplyOrientation(benchmark::State& state) {
  const Image image = Noise(4000, 3000);
  for (auto _ : state) {
    state.PauseTiming();
    Image copy = image;
    state.ResumeTiming();
    tavren::ApplyOrientation(copy, static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(copy.Data());
  }
}
BENCHMARK(BM_ApplyOrientation)->DenseRange(2, 8)->Unit(benchmark::kMillisecond);

}  // namespace
