// Damaged copies of good files: every one either decodes or is refused with
// TavrenError; nothing else may happen (the sanitizer build checks that no
// byte outside the buffers is touched).
#include <cstdlib>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "intake_test_helpers.h"
#include "picture_io/bmp_codec.h"
#include "picture_io/picture_files.h"
#include "picture_io/picture_formats.h"

namespace tavren {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Decoder = std::function<Image(const std::uint8_t*, std::size_t, const std::string&)>;

// Damages a copy: a few bytes set to random values (biased towards the
// header, where the sizes and offsets live), sometimes a cut.
Bytes Mutate(const Bytes& good, std::mt19937& random) {
  Bytes bytes = good;
  const int changes = 1 + static_cast<int>(random() % 6);
  for (int i = 0; i < changes; ++i) {
    const std::size_t span = random() % 2 ? std::min<std::size_t>(bytes.size(), 200) : bytes.size();
    bytes[random() % span] = static_cast<std::uint8_t>(random());
  }
  if (random() % 4 == 0) bytes.resize(random() % bytes.size());
  return bytes;
}

void SurvivesDamage(const Bytes& good, const std::string& file, const Decoder& decode, int copies) {
  std::mt19937 random(12345);
  int decoded = 0;
  for (int i = 0; i < copies; ++i) {
    const Bytes bytes = Mutate(good, random);
    try {
      const Image image = decode(bytes.data(), bytes.size(), file);
      ASSERT_TRUE(ImageHasPixels(image));
      ++decoded;
    } catch (const TavrenError& error) {
      ASSERT_EQ(error.file(), file);
    }
  }
  // Some damage is harmless: the copies must not all be refused for the
  // same trivial reason.
  EXPECT_GT(decoded, 0) << file;
}

int Copies() {
  const char* count = std::getenv("TAVREN_MUTATION_COPIES");
  return count ? std::atoi(count) : 300;
}

TEST(IntakeMutation, DamagedJpegsDecodeOrAreRefused) {
  for (const char* file : {"jpeg_colour.jpg", "jpeg_colour_progressive.jpg", "jpeg_gray.jpg",
                           "jpeg_cmyk.jpg", "jpeg_progressive_8x8.jpg"}) {
    SCOPED_TRACE(file);
    SurvivesDamage(test::DataFile(file), file, DecodeJpegMemory, Copies());
  }
}

TEST(IntakeMutation, DamagedBitmapsDecodeOrAreRefused) {
  for (const char* file : {"bmp_rose16_core8.bmp", "bmp_rose16_rle8.bmp", "bmp_rose16_v5_rle8.bmp",
                           "bmp_rose16_v5_bitfields32.bmp", "bmp_rose_mono1.bmp"}) {
    SCOPED_TRACE(file);
    SurvivesDamage(test::DataFile(file), file, DecodeBmp, Copies());
  }
}

// Files of the formats read through libraries, made from a test picture in
// the layouts whose code differs most.
TEST(IntakeMutation, DamagedFilesOfTheOtherFormatsDecodeOrAreRefused) {
  TAVREN_REQUIRE_PICTURE_TOOLS();
  test::TempDir dir;
  const std::string rose = dir.file("rose.png");
  ASSERT_TRUE(test::MakePicture(test::TestDataPath("bmp_rose16_24.bmp"), rose));
  const struct {
    const char* File;
    const char* Format;
    const char* Options;
  } made[] = {{"a.png", "PNG", "-alpha set -channel A -evaluate set 60%"},
              {"b.png", "PNG", "-interlace PNG -depth 16"},
              {"c.tif", "TIFF", "-compress lzw -define tiff:rows-per-strip=7"},
              {"d.tif", "TIFF", "-define tiff:tile-geometry=16x16 -interlace plane -compress zip"},
              {"e.webp", "WebP", ""},
              {"f.heic", "HEIF", ""}};
  for (const auto& m : made) {
    SCOPED_TRACE(m.File);
    ASSERT_TRUE(test::MakePicture(rose, dir.file(m.File), m.Options));
    const auto decode = [&](const std::uint8_t* data, std::size_t size, const std::string& name) {
      return test::LoadPictureMemory(m.Format, data, size, name);
    };
    SurvivesDamage(ReadFileBytes(dir.file(m.File)), m.File, decode, Copies());
  }
}

}  // namespace
}  // namespace tavren
