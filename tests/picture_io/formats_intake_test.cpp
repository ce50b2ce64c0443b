// HEIF, PNG, TIFF and WebP intake on files that the usual tools make in the
// test's folder from known samples: every layout the decoders handle gives
// the pixels that the sample rules compute from those samples.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>

#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <tiffio.h>

#include "intake_test_helpers.h"
#include "picture_io/orientation.h"
#include "picture_io/picture_files.h"
#include "picture_io/picture_formats.h"
#include "picture_io/picture_metadata.h"
#include "picture_io/png_decoder.h"
#include "picture_io/sample_rows.h"

// x265, the encoder behind WriteTurnedHeic below, keeps a block it never
// frees; the leak checker is told so for this program alone.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }

namespace tavren {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int32_t kWidth = 37;  // odd sizes leave partial tiles and strips
constexpr std::int32_t kHeight = 23;

// Raw samples in ImageMagick's raw layouts ("gray", "graya", "rgb", "rgba",
// "cmyk"), 16-bit ones big-endian.
struct RawPicture {
  std::string Layout;
  int Depth = 8;
  std::vector<std::uint16_t> Samples;

  int channels() const {
    return static_cast<int>(Layout.size()) - (Layout.rfind("gray", 0) == 0 ? 3 : 0);
  }
  std::uint32_t max() const { return (1u << Depth) - 1; }
};

// Samples from a fixed sequence; with few levels, as a palette or a
// bilevel picture needs them.
RawPicture MakeRaw(const std::string& layout, int depth, std::uint32_t levels, std::uint32_t seed) {
  RawPicture raw{layout, depth, {}};
  std::mt19937 random(seed);
  raw.Samples.resize(std::size_t{kWidth} * kHeight * static_cast<std::size_t>(raw.channels()));
  for (auto& sample : raw.Samples)
    sample = static_cast<std::uint16_t>(random() % levels * raw.max() / (levels - 1));
  return raw;
}

void WriteRaw(const RawPicture& raw, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  for (std::uint16_t sample : raw.Samples) {
    if (raw.Depth == 16) out.put(static_cast<char>(sample >> 8));
    out.put(static_cast<char>(sample & 0xFF));
  }
}

// What the sample rules make of one colour (grey, red, green or blue) with
// alpha a (or none), computed independently of the decoders.
std::uint8_t Level(long double colour, long double alpha, long double max) {
  if (alpha < 0) return static_cast<std::uint8_t>(std::lround(colour * 255 / max));
  return static_cast<std::uint8_t>(
      std::lround(255 * (colour * alpha + max * (max - alpha)) / (max * max)));
}

Image Expected(const RawPicture& raw) {
  Image image(kWidth, kHeight);
  const int channels = raw.channels();
  const bool grey = channels <= 2;
  const bool alpha = channels == 2 || (channels == 4 && raw.Layout != "cmyk");
  for (std::int32_t y = 0; y < kHeight; ++y)
    for (std::int32_t x = 0; x < kWidth; ++x) {
      const std::uint16_t* s =
          &raw.Samples[(std::size_t(y) * kWidth + std::size_t(x)) * std::size_t(channels)];
      std::uint8_t* bgr = image.Row(y) + 3 * x;
      if (raw.Layout.rfind("cmyk", 0) == 0) {  // red = (1 - C)(1 - K) and so on
        for (int c = 0; c < 3; ++c)
          bgr[2 - c] = static_cast<std::uint8_t>(std::lround((255.0L - s[c]) * (255 - s[3]) / 255));
        if (channels == 5)  // that colour over white
          for (int c = 0; c < 3; ++c) bgr[c] = Level(bgr[c], s[4], 255);
        continue;
      }
      const long double a = alpha ? s[channels - 1] : -1;
      for (int c = 0; c < 3; ++c) bgr[2 - c] = Level(s[grey ? 0 : c], a, raw.max());
    }
  return image;
}

struct LayoutCase {
  const char* Name;
  const char* Layout;
  int Depth;
  std::uint32_t Levels;  // distinct sample values (0: all)
  const char* File;      // ImageMagick's output, or a WebP made from its PNG
  const char* Options;   // samples deeper than 16 bits are 16-bit ones scaled
};

// Every colour type, depth and storage layout the decoders take apart.
constexpr LayoutCase kLayouts[] = {
    {"png rgb 8", "rgb", 8, 0, "a.png", ""},
    {"png rgba 16", "rgba", 16, 0, "a.png", ""},
    {"png grey+alpha 8", "graya", 8, 0, "a.png", ""},
    {"png grey 16", "gray", 16, 0, "a.png", ""},
    {"png grey 1 bit", "gray", 8, 2, "a.png", "-depth 1"},
    {"png palette", "rgb", 8, 3, "png8:a.png", ""},
    {"png interlaced rgba", "rgba", 8, 0, "a.png", "-interlace PNG"},
    {"tiff rgb 8 lzw strips", "rgb", 8, 0, "a.tif", "-compress lzw -define tiff:rows-per-strip=5"},
    {"tiff rgba 16 deflate", "rgba", 16, 0, "a.tif", "-compress zip"},
    {"tiff grey+alpha 8", "graya", 8, 0, "a.tif", ""},
    {"tiff grey 16", "gray", 16, 0, "a.tif", ""},
    {"tiff rgb 16 in planes", "rgb", 16, 0, "a.tif", "-interlace plane -compress lzw"},
    {"tiff rgba 8 tiles", "rgba", 8, 0, "a.tif", "-define tiff:tile-geometry=16x16"},
    {"tiff cmyk 8", "cmyk", 8, 0, "a.tif", ""},
    {"tiff palette", "rgb", 8, 3, "a.tif", "-type palette -compress lzw"},
    {"tiff bilevel fax", "gray", 8, 2, "a.tif", "-depth 1 -compress group4"},
    {"tiff bilevel group 3", "gray", 8, 2, "a.tif", "-depth 1 -compress fax"},
    {"tiff cmyk+alpha 8", "cmyka", 8, 0, "a.tif", ""},
    {"tiff rgb 8 packbits", "rgb", 8, 0, "a.tif", "-compress rle"},
    {"tiff rgb 8 lzma", "rgb", 8, 0, "a.tif", "-compress lzma"},
    {"tiff rgb 16 zstandard", "rgb", 16, 0, "a.tif", "-compress zstd"},
    {"tiff rgba 32", "rgba", 16, 0, "a.tif", "-depth 32"},
    {"tiff grey floating point", "gray", 16, 0, "a.tif",
     "-define quantum:format=floating-point -depth 32 -compress lzw"},
    {"tiff rgb floating point deflate", "rgb", 16, 0, "a.tif",
     "-define quantum:format=floating-point -depth 32 -compress zip"},
    {"webp lossless rgba", "rgba", 8, 0, "a.webp", ""},
    {"webp lossless rgb", "rgb", 8, 0, "a.webp", ""},
};

TEST(FormatsIntake, SamplesOfEveryLayoutBecomeTheirNearestLevelOverWhite) {
  TAVREN_REQUIRE_PICTURE_TOOLS();
  std::uint32_t seed = 1;
  for (const LayoutCase& c : kLayouts) {
    SCOPED_TRACE(c.Name);
    test::TempDir dir;
    const RawPicture raw =
        MakeRaw(c.Layout, c.Depth, c.Levels ? c.Levels : (1u << c.Depth), seed++);
    WriteRaw(raw, dir.file("raw"));
    const std::string source = "-size " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                               " -depth " + std::to_string(c.Depth) + " -endian MSB " + c.Layout +
                               ":" + dir.file("raw");
    std::string file = c.File;
    std::string prefix;
    if (const auto colon = file.find(':'); colon != std::string::npos) {
      prefix = file.substr(0, colon + 1);
      file = file.substr(colon + 1);
    }
    const bool webp = fs::path(file).extension() == ".webp";
    const std::string made = dir.file(webp ? "a.png" : file);
    ASSERT_TRUE(test::RunQuietly("convert " + source + " " + c.Options + " " + prefix +
                                 test::ShellQuoted(made)));
    if (webp) {
      ASSERT_TRUE(test::MakePicture(made, dir.file(file)));
    }
    EXPECT_EQ(LoadPicture(dir.file(file)), Expected(raw));
  }
}

// The mean difference of two pictures' bytes; infinity when their sizes
// differ.
double MeanDifference(const Image& a, const Image& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return INFINITY;
  double sum = 0;
  for (std::size_t i = 0; i < a.ByteSize(); ++i) sum += std::abs(a.Data()[i] - b.Data()[i]);
  return sum / static_cast<double>(a.ByteSize());
}

// A JPEG-compressed TIFF is lossy; it must come out as ImageMagick's own
// reading of it does.
TEST(FormatsIntake, JpegCompressedTiffComesOutAsRgb) {
  TAVREN_REQUIRE_PICTURE_TOOLS();
  test::TempDir dir;
  const std::string tiff = dir.file("j.tif");
  ASSERT_TRUE(test::MakePicture(test::TestDataPath("small_photo.jpg"), tiff, "-compress jpeg"));
  ASSERT_TRUE(test::MakePicture(tiff, dir.file("j.bmp"), "-type truecolor"));
  EXPECT_LE(MeanDifference(LoadPicture(tiff), LoadPicture(dir.file("j.bmp"))), 1.0);
}

TEST(FormatsIntake, FilesOfSeveralPicturesGiveTheFirst) {
  TAVREN_REQUIRE_PICTURE_TOOLS();
  TAVREN_REQUIRE_TOOL("img2webp");
  test::TempDir dir;
  const std::string first = dir.file("first.png");
  const std::string second = dir.file("second.png");
  ASSERT_TRUE(test::MakePicture(test::TestDataPath("small_photo.jpg"), first));
  ASSERT_TRUE(test::MakePicture(first, second, "-negate"));
  const Image expected = LoadPicture(first);

  ASSERT_TRUE(test::RunQuietly("convert " + first + " " + second + " " + dir.file("pages.tif")));
  EXPECT_EQ(LoadPicture(dir.file("pages.tif")), expected);
  ASSERT_TRUE(test::RunQuietly("img2webp -lossless " + first + " " + second + " -o " +
                               dir.file("frames.webp")));
  EXPECT_EQ(LoadPicture(dir.file("frames.webp")), expected);
  // The first frame on a canvas far larger than itself: white around it,
  // and no canvas of that size held besides the picture (192 MB).
  Bytes frames = ReadFileBytes(dir.file("frames.webp"));
  ASSERT_EQ(std::string(frames.begin() + 12, frames.begin() + 16), "VP8X");
  constexpr std::uint32_t kCanvas = 8000;
  for (int i = 0; i < 3; ++i)
    frames[24 + i] = frames[27 + i] = static_cast<std::uint8_t>((kCanvas - 1) >> (8 * i));
  const long peakBefore = test::PeakResidentKiB();
  const Image onCanvas = test::LoadPictureMemory("WebP", frames.data(), frames.size(), "canvas");
  EXPECT_LT(test::PeakResidentKiB() - peakBefore, 400 << 10);
  ASSERT_EQ(onCanvas.Width(), static_cast<std::int32_t>(kCanvas));
  Image corner(expected.Width(), expected.Height());
  for (std::int32_t y = 0; y < expected.Height(); ++y)
    std::copy_n(onCanvas.Row(y), 3 * expected.Width(), corner.Row(y));
  EXPECT_EQ(corner, expected);
  EXPECT_EQ(std::count(onCanvas.Data(), onCanvas.Data() + onCanvas.ByteSize(), 255),
            static_cast<std::ptrdiff_t>(onCanvas.ByteSize() - 3 * std::size_t(expected.Width()) *
                                                                  std::size_t(expected.Height())) +
                std::count(expected.Data(), expected.Data() + expected.ByteSize(), 255));
  ASSERT_TRUE(
      test::RunQuietly("heif-enc -q 90 " + first + " " + second + " -o " + dir.file("two.heic")));
  EXPECT_LT(MeanDifference(LoadPicture(dir.file("two.heic")), expected), 4.0);
}

// A tag of a TIFF directory: SHORT (3) or LONG (4) values.  A value of
// kAtData + k stands for the place k bytes into the file's data.
struct TiffTag {
  std::uint16_t Id;
  std::uint16_t Type;
  std::vector<std::uint32_t> Values;
};
constexpr std::uint32_t kAtData = 0xF0000000;

// A little-endian TIFF of one page whose directory holds the given tags
// (ascending), values that do not fit in an entry behind it, then data.
Bytes TiffWith(const std::vector<TiffTag>& tags, const Bytes& data) {
  const auto bytesOf = [](const TiffTag& tag) {
    return tag.Values.size() * (tag.Type == 3 ? 2 : 4);
  };
  std::size_t behind = 8 + 2 + 12 * tags.size() + 4;
  std::size_t dataStart = behind;
  for (const TiffTag& tag : tags) dataStart += bytesOf(tag) > 4 ? bytesOf(tag) : 0;
  Bytes file = {'I', 'I', 42, 0, 8, 0, 0, 0};
  Bytes values;
  const auto put = [](Bytes& to, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i)
      to.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  put(file, tags.size(), 2);
  for (const TiffTag& tag : tags) {
    put(file, tag.Id, 2);
    put(file, tag.Type, 2);
    put(file, tag.Values.size(), 4);
    Bytes packed;
    for (std::uint32_t value : tag.Values)
      put(packed, value >= kAtData ? dataStart + (value - kAtData) : value, tag.Type == 3 ? 2 : 4);
    if (packed.size() > 4) {
      put(file, behind + values.size(), 4);
      values.insert(values.end(), packed.begin(), packed.end());
    } else {
      packed.resize(4);
      file.insert(file.end(), packed.begin(), packed.end());
    }
  }
  put(file, 0, 4);
  file.insert(file.end(), values.begin(), values.end());
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

// A TIFF of one 8-bit grey page whose directory holds the given tags (LONG
// values; ascending tags), its data a few zero bytes.
Bytes GreyTiff(const std::vector<std::pair<std::uint16_t, std::uint32_t>>& tags) {
  std::vector<TiffTag> longs;
  for (const auto& [tag, value] : tags)
    longs.push_back({tag, 4, {value == 0xFFFFFFFF ? kAtData : value}});  // 0xFFFFFFFF: the data
  return TiffWith(longs, Bytes(64));
}

// A JPEG stream of one grey frame, arithmetic-coded and progressive, of
// the given scans, each without data (the decoder goes on with zeros).
Bytes ScansOnly(std::uint16_t width, std::uint16_t height, int scans) {
  static constexpr std::uint8_t kHead[] = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
  Bytes jpeg(sizeof kHead + 64, 1);  // a quantisation table of 64 ones
  std::copy(std::begin(kHead), std::end(kHead), jpeg.begin());
  const Bytes frame = {0xFF,
                       0xCA,
                       0,
                       11,
                       8,
                       static_cast<std::uint8_t>(height >> 8),
                       static_cast<std::uint8_t>(height),
                       static_cast<std::uint8_t>(width >> 8),
                       static_cast<std::uint8_t>(width),
                       1,
                       1,
                       0x11,
                       0};
  jpeg.insert(jpeg.end(), frame.begin(), frame.end());
  for (int i = 0; i < scans; ++i) {
    const std::uint8_t first = i == 0 ? 0 : 1, last = i == 0 ? 0 : 63;
    const Bytes scan = {0xFF, 0xDA, 0, 8, 1, 1, 0, first, last, 0};
    jpeg.insert(jpeg.end(), scan.begin(), scan.end());
  }
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

// A grey TIFF of width x height pixels in one strip of the given bytes.
Bytes OneStrip(std::uint32_t width, std::uint32_t height, std::uint32_t compression,
               const Bytes& strip, std::uint32_t samples = 1, std::uint32_t bits = 8) {
  return TiffWith({{256, 4, {width}},
                   {257, 4, {height}},
                   {258, 3, {bits}},
                   {259, 3, {compression}},
                   {262, 3, {samples == 1 ? 1u : 2u}},
                   {273, 4, {kAtData}},
                   {277, 3, {samples}},
                   {278, 4, {height}},
                   {279, 4, {static_cast<std::uint32_t>(strip.size())}}},
                  strip);
}

// A PNG of a palette picture, interlaced, whose picture data is missing;
// a private chunk makes the file as long as the size check asks.
Bytes InterlacedPaletteWithoutData(std::uint32_t side) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto chunk = [&](const char* type, const Bytes& data) {
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::uint8_t byte : body) {
      crc ^= byte;
      for (int k = 0; k < 8; ++k) crc = crc >> 1 ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    crc ^= 0xFFFFFFFF;
    for (std::uint32_t v : {static_cast<std::uint32_t>(data.size())})
      for (int i = 3; i >= 0; --i) png.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    png.insert(png.end(), body.begin(), body.end());
    for (int i = 3; i >= 0; --i) png.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  };
  Bytes header;
  for (int twice = 0; twice < 2; ++twice)
    for (int i = 3; i >= 0; --i) header.push_back(static_cast<std::uint8_t>(side >> (8 * i)));
  header.insert(header.end(), {1, 3, 0, 0, 1});  // 1 bit, palette, interlaced
  chunk("IHDR", header);
  chunk("PLTE", {0, 0, 0, 255, 255, 255});
  chunk("prIv", Bytes(side / 8 * side / 1000));
  chunk("IDAT", {});
  chunk("IEND", {});
  return png;
}

// TIFFs of samples that fill no whole byte, or more than two bytes, as
// scanners and cameras write them, built here (ImageMagick changes such
// samples on their way): each becomes its nearest level by the sample
// rules, deeper ones through their nearest 16-bit sample.
TEST(FormatsIntake, TiffSamplesOfEveryDepthBecomeTheirNearestLevel) {
  const struct {
    const char* Layout;
    int Depth;
    bool Planes;
  } depths[] = {{"gray", 10, false}, {"rgb", 12, false}, {"rgba", 14, true}, {"graya", 12, false},
                {"gray", 24, false}, {"rgba", 24, true}, {"rgb", 5, false},  {"gray", 3, true}};
  std::mt19937 random(11);
  for (const auto& c : depths) {
    SCOPED_TRACE(std::string(c.Layout) + " " + std::to_string(c.Depth));
    RawPicture raw{c.Layout, std::min(c.Depth, 16), {}};
    const auto channels = static_cast<std::size_t>(raw.channels());
    const std::uint32_t max = (1u << c.Depth) - 1;
    std::vector<std::uint32_t> values(std::size_t{kWidth} * kHeight * channels);
    for (auto& v : values) {
      v = random() & max;
      raw.Samples.push_back(static_cast<std::uint16_t>(
          c.Depth > 16 ? std::lround(v * 65535.0L / max) : static_cast<long>(v)));
    }
    // Rows of one plane (every channel, or one), packed from the highest
    // bit; 24-bit samples in the file's (little-endian) byte order.
    Bytes data;
    std::vector<std::uint32_t> offsets, counts;
    const std::size_t planes = c.Planes ? channels : 1;
    for (std::size_t plane = 0; plane < planes; ++plane) {
      offsets.push_back(kAtData + static_cast<std::uint32_t>(data.size()));
      for (std::size_t y = 0; y < kHeight; ++y) {
        std::uint64_t held = 0;
        int heldBits = 0;
        for (std::size_t x = 0; x < kWidth; ++x)
          for (std::size_t ch = 0; ch < channels; ++ch) {
            if (c.Planes && ch != plane) continue;
            const std::uint32_t v = values[(y * kWidth + x) * channels + ch];
            if (c.Depth == 24) {
              data.insert(data.end(),
                          {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16)});
              continue;
            }
            held = held << c.Depth | v;
            for (heldBits += c.Depth; heldBits >= 8; heldBits -= 8)
              data.push_back(static_cast<std::uint8_t>(held >> (heldBits - 8)));
          }
        if (heldBits > 0) data.push_back(static_cast<std::uint8_t>(held << (8 - heldBits)));
      }
      counts.push_back(static_cast<std::uint32_t>(data.size()) - (offsets.back() - kAtData));
    }
    std::vector<TiffTag> tags = {
        {256, 4, {kWidth}},
        {257, 4, {kHeight}},
        {258, 3, std::vector<std::uint32_t>(channels, static_cast<std::uint32_t>(c.Depth))},
        {259, 3, {1}},
        {262, 3, {channels >= 3 ? 2u : 1u}},
        {273, 4, offsets},
        {277, 3, {static_cast<std::uint32_t>(channels)}},
        {278, 4, {kHeight}},
        {279, 4, counts},
        {284, 3, {c.Planes ? 2u : 1u}}};
    if (channels == 2 || channels == 4) tags.push_back({338, 3, {2}});  // straight alpha
    const Bytes file = TiffWith(tags, data);
    EXPECT_EQ(test::LoadPictureMemory("TIFF", file.data(), file.size(), "deep"), Expected(raw));
  }
}

// Uncompressed YCbCr as cameras and scanners write it, subsampled every
// way TIFF allows, in strips: each pixel is its own Y with the Cb and Cr of
// its unit, turned into RGB with TIFF's default coefficients.
TEST(FormatsIntake, YCbCrTiffOfEverySubsamplingBecomesRgb) {
  constexpr std::uint32_t kW = 7, kH = 6;
  const struct {
    std::uint32_t X, Y, RowsPerStrip;
  } subsamplings[] = {{1, 1, 6}, {2, 1, 3}, {2, 2, 2}, {4, 2, 4}, {4, 4, 6}};
  std::mt19937 random(7);
  for (const auto& sub : subsamplings) {
    SCOPED_TRACE(std::to_string(sub.X) + "x" + std::to_string(sub.Y));
    const std::uint32_t unitsAcross = (kW + sub.X - 1) / sub.X;
    const std::uint32_t unitBytes = sub.X * sub.Y + 2;
    const std::uint32_t unitRows = (kH + sub.Y - 1) / sub.Y;
    Bytes data(std::size_t{unitsAcross} * unitBytes * unitRows);
    for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
    std::vector<std::uint32_t> offsets, counts;
    const std::uint32_t stripBytes =
        (sub.RowsPerStrip + sub.Y - 1) / sub.Y * unitsAcross * unitBytes;
    for (std::uint32_t at = 0; at < data.size(); at += stripBytes) {
      offsets.push_back(kAtData + at);
      counts.push_back(
          std::min<std::uint32_t>(stripBytes, static_cast<std::uint32_t>(data.size()) - at));
    }
    const Bytes file = TiffWith({{256, 4, {kW}},
                                 {257, 4, {kH}},
                                 {258, 3, {8, 8, 8}},
                                 {259, 3, {1}},
                                 {262, 3, {6}},
                                 {273, 4, offsets},
                                 {277, 3, {3}},
                                 {278, 4, {sub.RowsPerStrip}},
                                 {279, 4, counts},
                                 {530, 3, {sub.X, sub.Y}}},
                                data);
    Image expected(kW, kH);
    const double red = 0.299f, green = 0.587f, blue = 0.114f;
    const auto level = [](double v) {
      return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
    };
    for (std::uint32_t y = 0; y < kH; ++y)
      for (std::uint32_t x = 0; x < kW; ++x) {
        const std::uint8_t* unit = &data[(y / sub.Y * unitsAcross + x / sub.X) * unitBytes];
        const double luma = unit[y % sub.Y * sub.X + x % sub.X];
        const double r = (unit[unitBytes - 1] - 128) * (2 - 2 * red) + luma;
        const double b = (unit[unitBytes - 2] - 128) * (2 - 2 * blue) + luma;
        const double g = (luma - blue * b - red * r) / green;
        std::uint8_t* bgr = expected.Row(static_cast<std::int32_t>(y)) + 3 * x;
        bgr[0] = level(b);
        bgr[1] = level(g);
        bgr[2] = level(r);
      }
    EXPECT_EQ(test::LoadPictureMemory("TIFF", file.data(), file.size(), "ycbcr"), expected);
  }
}

// A grid and an overlay of the same tile on the same canvas give the same
// picture.  What the libraries take on trust is refused before they
// allocate: a HEIF canvas its few bytes declare, whatever size the file
// gives the picture; a coded tile far larger than the file's pictures; a
// TIFF's samples, which set the size of a strip; and a HEIF tile that is
// not a picture, on which libheif aborts.
TEST(FormatsIntake, DeclarationsAreCheckedBeforeTheLibrariesTrustThem) {
  const Bytes grid = test::DataFile("heif_rose_grid.heic");
  const Bytes overlay = test::DataFile("heif_rose_overlay.heic");
  const Image rose = test::LoadPictureMemory("HEIF", grid.data(), grid.size(), "grid");
  ASSERT_EQ(rose.Width(), 70);
  EXPECT_EQ(test::LoadPictureMemory("HEIF", overlay.data(), overlay.size(), "overlay"), rose);

  // Each description as stored in the item data box: the grid's version,
  // flags, rows and columns, then 16-bit width and height; the overlay's
  // version, flags and four fill values, then the canvas and the tile's
  // place, read as a 32-bit canvas when flag 1 is set.
  struct Declared {
    const Bytes& File;
    Bytes Description;
    const char* Refusal;
  };
  const Declared huge[] = {
      {grid,
       {0, 0, 0, 0, 0x4E, 0x20, 0x4E, 0x20},
       "20000 x 20000 pixels (400 megapixels) is above the limit"},
      {overlay,
       {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x4E, 0x20, 0x4E, 0x20, 0, 0, 0, 0},
       "20000 x 20000 pixels (400 megapixels) is above the limit"},
      {overlay,
       {0, 1, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       "4294967295 x 4294967295 pixels (18446744065119.6 megapixels) is above the limit"}};
  const long peakBefore = test::PeakResidentKiB();
  for (const Declared& declared : huge) {
    Bytes bytes = declared.File;
    const auto idat =
        std::search(bytes.begin(), bytes.end(), std::begin("idat"), std::end("idat") - 1);
    ASSERT_NE(idat, bytes.end());
    std::copy(declared.Description.begin(), declared.Description.end(), idat + 4);
    const std::string refusal = test::RefusalOf(
        [&] { test::LoadPictureMemory("HEIF", bytes.data(), bytes.size(), "huge"); });
    EXPECT_NE(refusal.find(declared.Refusal), std::string::npos) << refusal;
  }
  // A tile whose coding declares a picture far larger than the file's.
  const Bytes hugeTile = test::DataFile("heif_rose_tile_30000.heic");
  const std::string tileRefusal = test::RefusalOf(
      [&] { test::LoadPictureMemory("HEIF", hugeTile.data(), hugeTile.size(), "tile"); });
  EXPECT_NE(tileRefusal.find("too large"), std::string::npos) << tileRefusal;
  const Bytes manySamples = test::DataFile("tiff_62979_samples.tif");
  const std::string samplesRefusal = test::RefusalOf(
      [&] { test::LoadPictureMemory("TIFF", manySamples.data(), manySamples.size(), "samples"); });
  EXPECT_NE(samplesRefusal.find("more than 128 bits per pixel (62979 samples of 1 bit)"),
            std::string::npos)
      << samplesRefusal;
  // Tiles far taller than their picture, and a codec that is not on the
  // list (libjbig ends the process on a declared size it cannot allocate).
  const auto grey = [](std::uint32_t width, std::uint32_t compression, std::uint32_t tileWidth,
                       std::uint32_t tileLength) {
    return GreyTiff({{256, width},
                     {257, 16},
                     {258, 8},
                     {259, compression},
                     {262, 1},
                     {277, 1},
                     {322, tileWidth},
                     {323, tileLength},
                     {324, 0xFFFFFFFF},
                     {325, 64}});
  };
  for (const Bytes& file : {grey(20000, 50000, 16, 65536), grey(20000, 50000, 16, 131072)})
    EXPECT_FALSE(test::RefusalOf([&] {
                   test::LoadPictureMemory("TIFF", file.data(), file.size(), "tall tiles");
                 }).empty());
  const Bytes jbig = grey(16, 34661, 16, 16);
  const std::string jbigRefusal =
      test::RefusalOf([&] { test::LoadPictureMemory("TIFF", jbig.data(), jbig.size(), "jbig"); });
  EXPECT_NE(jbigRefusal.find("(compression 34661) are not supported"), std::string::npos)
      << jbigRefusal;

  // Strips that cannot hold what they declare, however densely their codec
  // packs: each strip for itself, and strips that share their bytes; and
  // JPEG strips held to the JPEG decoder's limits and to their strip's size.
  // A 16-bit RGBA strip of 14000 x 14000 pixels is 1.5 GB.
  Bytes zstdFile = OneStrip(14000, 14000, 50000, Bytes(64), 4, 16);
  zstdFile.resize(zstdFile.size() + 60000);  // the file long enough for the picture
  Bytes shared = TiffWith({{256, 4, {8192}},
                           {257, 4, {64}},
                           {258, 3, {8}},
                           {259, 3, {5}},
                           {262, 3, {1}},
                           {273, 4, std::vector<std::uint32_t>(64, kAtData)},
                           {277, 3, {1}},
                           {278, 4, {1}},
                           {279, 4, std::vector<std::uint32_t>(64, 16)}},
                          Bytes(16));
  const struct {
    Bytes File;
    const char* Refusal;
  } costly[] = {
      // A libtiff built without ZSTD refuses the codec itself, as cheaply.
      {zstdFile, TIFFIsCODECConfigured(50000)
                     ? "the file is damaged: strip 1 holds 64 bytes, fewer than its 14000 rows need"
                     : "compressed with ZSTD (compression 50000) are not supported"},
      {shared, "the file is damaged: its strips share their bytes, too few for the picture"},
      {OneStrip(2048, 2048, 7, ScansOnly(2048, 2048, 99)),
       "the file is damaged: its JPEG data repeats the picture more than 32 times in its scans"},
      {OneStrip(2048, 2048, 7, ScansOnly(4096, 2048, 2)),
       "the JPEG data of strip 1 is 4096 x 2048 pixels, not the 2048 x 2048 of the strip"},
      {OneStrip(8192, 8192, 7, ScansOnly(8192, 8192, 2)),
       "strip 1 holds 106 bytes, fewer than its 8192 rows need"}};
  for (const auto& c : costly) {
    const std::string refusal = test::RefusalOf(
        [&] { test::LoadPictureMemory("TIFF", c.File.data(), c.File.size(), "costly"); });
    EXPECT_NE(refusal.find(c.Refusal), std::string::npos) << refusal;
  }
  // An interlaced PNG's rows are held for the passes, but not cleared
  // ahead of data that is not there.
  const Bytes noData = InterlacedPaletteWithoutData(14000);
  EXPECT_NE(test::RefusalOf([&] {
              test::LoadPictureMemory("PNG", noData.data(), noData.size(), "no data");
            }).find("the file is damaged"),
            std::string::npos);
  // Tags nothing reads (XMP, a private one) whose values claim a gigabyte
  // of the file (sparse): the picture reads as without them.
  test::TempDir dir;
  const Bytes greyStrip(64, 0x80);
  const Bytes plain = OneStrip(8, 8, 1, greyStrip);
  const Image plainPicture = test::LoadPictureMemory("TIFF", plain.data(), plain.size(), "plain");
  for (const std::uint16_t tag : {700, 65000}) {
    SCOPED_TRACE(tag);
    Bytes claiming = TiffWith({{256, 4, {8}},
                               {257, 4, {8}},
                               {258, 3, {8}},
                               {259, 3, {1}},
                               {262, 3, {1}},
                               {273, 4, {kAtData}},
                               {277, 3, {1}},
                               {278, 4, {8}},
                               {279, 4, {64}},
                               {tag, 4, {0, 0}}},
                              greyStrip);
    constexpr std::size_t kClaimingEntry = 8 + 2 + 12 * 9;
    claiming[kClaimingEntry + 2] = 1;  // bytes,
    claiming[kClaimingEntry + 4] = 0;  // a gigabyte of them
    claiming[kClaimingEntry + 7] = 0x40;
    const std::string file = dir.file("claiming.tif");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(claiming.data()),
               static_cast<std::streamsize>(claiming.size()));
    fs::resize_file(file, claiming.size() + (std::uintmax_t{1} << 30));
    EXPECT_EQ(LoadPicture(file), plainPicture);
  }
  EXPECT_LT(test::PeakResidentKiB() - peakBefore, 256 << 10);

  Bytes untypedTile = overlay;  // the tile's entry as version 0, which has no type
  const auto infe =
      std::search(untypedTile.begin(), untypedTile.end(), std::begin("infe"), std::end("infe") - 1);
  ASSERT_NE(infe, untypedTile.end());
  infe[4] = 0;
  // The same with the overlay's reference box declared too short for the
  // items it names, which libheif still reads.
  Bytes shortReference = untypedTile;
  const auto dimg = std::search(shortReference.begin(), shortReference.end(), std::begin("dimg"),
                                std::end("dimg") - 1);
  ASSERT_NE(dimg, shortReference.end());
  dimg[-1] = 8 + 2;  // the header and the overlay's own item only
  for (const Bytes& file : {untypedTile, shortReference}) {
    const std::string refusal = test::RefusalOf(
        [&] { test::LoadPictureMemory("HEIF", file.data(), file.size(), "untyped"); });
    EXPECT_NE(refusal.find("made of an item that is not a picture"), std::string::npos) << refusal;
  }
}

// ---- Upright ----

// The size that `tavren info` reads from the headers alone is the decoded
// picture's, upright.
void ExpectSizeFromTheHeader(const std::string& file, const Image& upright) {
  const TPictureSize size = ReadPictureSize(file);
  EXPECT_EQ(size.Width, upright.Width()) << file;
  EXPECT_EQ(size.Height, upright.Height()) << file;
}

// A file is read no further than its picture needs: a long tail behind it
// (a sparse gigabyte) changes nothing that is read of it and is not held
// in memory, whatever reads the file.
void ExpectLongTailUnread(const std::string& file) {
  SCOPED_TRACE(file);
  const Image picture = LoadPicture(file);
  const TSourceMetadata metadata = ReadSourceMetadata(file);
  const std::uintmax_t size = fs::file_size(file);
  fs::resize_file(file, size + (std::uintmax_t{1} << 30));
  // What a saved copy's metadata is read from stops there too (a few
  // bytes of reading ahead aside).
  const TPictureFormat* format = FormatOfPath(file);
  ASSERT_NE(format, nullptr);
  if (format->KeptBlocks == nullptr) {  // else they are read where they lie
    ASSERT_NE(format->MetadataReach, nullptr);
    EXPECT_LT(format->MetadataReach(TFileByteSource(file)).Extent, size + (1 << 20));
  }
  const long peakBefore = test::PeakResidentKiB();
  EXPECT_EQ(LoadPicture(file), picture);
  ExpectSizeFromTheHeader(file, picture);
  const TSourceMetadata withTail = ReadSourceMetadata(file);
  EXPECT_EQ(withTail.Make, metadata.Make);
  EXPECT_EQ(withTail.Model, metadata.Model);
  EXPECT_EQ(withTail.IccProfile, metadata.IccProfile);
  EXPECT_LT(test::PeakResidentKiB() - peakBefore, 64 << 10);
}

// A picture stored as `stored`, in samples of the given bits, and shown as
// the given EXIF orientation says, by the file's own transformations,
// added to a HEIC.  libheif codes a picture of an odd size larger, and
// crops it to its size either by a grid of that one picture or by a crop
// property of the picture's own (ownCrop).
bool AddTurnedPicture(heif_context* context, const Image& stored, heif_orientation orientation,
                      int bits, bool ownCrop, bool alpha) {
  const bool wide = bits > 8;
  const int channels = alpha ? 4 : 3;
  heif_encoder* encoder = nullptr;
  heif_image* picture = nullptr;
  bool written =
      heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code ==
          heif_error_Ok &&
      heif_image_create(
          stored.Width(), stored.Height(), heif_colorspace_RGB,
          alpha ? (wide ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RGBA)
                : (wide ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB),
          &picture)
              .code == heif_error_Ok &&
      heif_image_add_plane(picture, heif_channel_interleaved, stored.Width(), stored.Height(), bits)
              .code == heif_error_Ok;
  if (written) {
    int stride = 0;
    std::uint8_t* rgb = heif_image_get_plane(picture, heif_channel_interleaved, &stride);
    for (std::int32_t y = 0; y < stored.Height(); ++y)
      for (std::int32_t x = 0; x < stored.Width(); ++x)
        for (int c = 0; c < channels; ++c) {
          // The transparency falls from opaque at the left to clear at the right.
          const std::uint8_t level =
              c < 3 ? stored.Row(y)[3 * x + 2 - c]
                    : static_cast<std::uint8_t>(255 - 255 * x / (stored.Width() - 1));
          if (!wide) {
            rgb[y * stride + channels * x + c] = level;
            continue;
          }
          const unsigned sample = (level << (bits - 8)) | (level >> (16 - bits));
          rgb[y * stride + 2 * (channels * x + c)] = static_cast<std::uint8_t>(sample & 0xFF);
          rgb[y * stride + 2 * (channels * x + c) + 1] = static_cast<std::uint8_t>(sample >> 8);
        }
    heif_encoder_set_lossy_quality(encoder, 95);
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = orientation;
    options->macOS_compatibility_workaround = !ownCrop;
    written = heif_context_encode_image(context, picture, encoder, options, nullptr).code ==
              heif_error_Ok;
    heif_encoding_options_free(options);
  }
  if (picture) heif_image_release(picture);
  if (encoder) heif_encoder_release(encoder);
  return written;
}

// A HEIC of one picture, made as AddTurnedPicture makes it.
bool WriteTurnedHeic(const Image& stored, heif_orientation orientation, const std::string& path,
                     int bits = 8, bool ownCrop = false, bool alpha = false) {
  heif_context* context = heif_context_alloc();
  const bool written = AddTurnedPicture(context, stored, orientation, bits, ownCrop, alpha) &&
                       heif_context_write_to_file(context, path.c_str()).code == heif_error_Ok;
  heif_context_free(context);
  return written;
}

std::uint32_t BigEndian32(const Bytes& bytes, std::size_t at) {
  return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
         std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

std::size_t PlaceOf(const Bytes& bytes, const char* type) {
  return static_cast<std::size_t>(std::search(bytes.begin(), bytes.end(), type, type + 4) -
                                  bytes.begin());
}

// Where the picture's crop, turn and mirror stand in a HEIC that libheif
// wrote of one picture: their property numbers, the places of their numbers
// in the picture's property list, and the crop's fields.
struct TTransformPlaces {
  std::map<std::string, std::uint8_t> Number;  // by property type
  std::vector<std::size_t> InList;
  std::size_t Crop = 0;
};

TTransformPlaces TransformPlaces(const Bytes& file) {
  TTransformPlaces places;
  const std::size_t ipco = PlaceOf(file, "ipco");
  const std::size_t end = ipco - 4 + BigEndian32(file, ipco - 4);
  std::uint8_t number = 1;
  for (std::size_t child = ipco + 4; child + 8 <= end;
       child += BigEndian32(file, child), ++number) {
    const std::string type(file.begin() + static_cast<std::ptrdiff_t>(child + 4),
                           file.begin() + static_cast<std::ptrdiff_t>(child + 8));
    places.Number[type] = number;
    if (type == "clap") places.Crop = child + 8;
  }
  const std::size_t ipma = PlaceOf(file, "ipma");  // version 0, one entry of 8-bit numbers
  const std::size_t list = ipma + 4 + 4 + 4 + 2;
  for (std::size_t i = 0; i < file[list]; ++i) {
    const std::uint8_t named = file[list + 1 + i] & 0x7F;
    for (const char* type : {"clap", "irot", "imir"})
      if (places.Number.count(type) != 0 && named == places.Number[type])
        places.InList.push_back(list + 1 + i);
  }
  return places;
}

Image Cropped(const Image& image, std::int32_t left, std::int32_t top, std::int32_t width,
              std::int32_t height) {
  Image part(width, height);
  for (std::int32_t y = 0; y < height; ++y)
    std::copy_n(image.Row(top + y) + 3 * left, 3 * width, part.Row(y));
  return part;
}

// A picture whose every pixel differs from its neighbours, so that any
// turn, mirror or crop shows.
Image HeifTestPattern(std::int32_t width, std::int32_t height) {
  Image stored(width, height);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* bgr = stored.Row(y) + 3 * x;
      bgr[0] = static_cast<std::uint8_t>(x * 6);
      bgr[1] = static_cast<std::uint8_t>(y * 10);
      bgr[2] = static_cast<std::uint8_t>(x * y % 256);
    }
  return stored;
}

// The crop, turn and mirror of a HEIF picture of 8 or 10 bits, listed in
// any order, make of its untransformed picture what the same steps by
// hand make of it.  libheif writes a picture of 37 x 23 coded larger (of
// even sides) with a crop to 37 x 23 at the top left, a quarter turn
// clockwise and a left-right mirror, in that order.
TEST(FormatsIntake, HeifCropTurnAndMirrorApplyInTheirListedOrder) {
  if (!heif_have_encoder_for_format(heif_compression_HEVC))
    GTEST_SKIP() << "this libheif has no HEVC encoder to write the test pictures";
  const Image stored = HeifTestPattern(kWidth, kHeight);
  const auto turned = [](Image image, int orientation) {
    ApplyOrientation(image, orientation);
    return image;
  };
  const struct {
    const char* What;
    std::vector<const char*> Order;
    bool OffCentre;  // the crop 10 x 20 with its centre 3 right of and 2 above the centre
    std::function<Image(const Image&)> ByHand;
  } rows[] = {
      {"crop, turn, mirror",
       {"clap", "irot", "imir"},
       false,
       [&](const Image& full) { return turned(turned(Cropped(full, 0, 0, 37, 23), 6), 2); }},
      {"crop, mirror, turn",
       {"clap", "imir", "irot"},
       false,
       [&](const Image& full) { return turned(turned(Cropped(full, 0, 0, 37, 23), 2), 6); }},
      {"turn, crop off the centre, mirror",
       {"irot", "clap", "imir"},
       true,
       [&](const Image& full) {
         const Image upright = turned(full, 6);
         return turned(Cropped(upright, 3 + (upright.Width() - 10) / 2,
                               -2 + (upright.Height() - 20) / 2, 10, 20),
                       2);
       }},
  };
  test::TempDir dir;
  for (const int bits : {8, 10}) {
    SCOPED_TRACE(bits);
    const std::string path = dir.file(std::to_string(bits) + "-bit.heic");
    ASSERT_TRUE(WriteTurnedHeic(stored, heif_orientation_rotate_90_cw_then_flip_horizontally, path,
                                bits, true));
    const Bytes written = ReadFileBytes(path);
    const TTransformPlaces places = TransformPlaces(written);
    ASSERT_EQ(places.InList.size(), 3u);
    ASSERT_NE(places.Crop, 0u);
    Bytes plain = written;
    for (const std::size_t place : places.InList) plain[place] = 0;  // no property
    const Image untransformed = test::LoadPictureMemory("HEIF", plain.data(), plain.size(), "u");
    ASSERT_EQ(untransformed.Width() % 2, 0);
    ASSERT_EQ(untransformed.Height() % 2, 0);
    EXPECT_NE(rows[0].ByHand(untransformed), rows[1].ByHand(untransformed));
    for (const auto& row : rows) {
      SCOPED_TRACE(row.What);
      Bytes file = written;
      for (std::size_t i = 0; i < 3; ++i) file[places.InList[i]] = places.Number.at(row.Order[i]);
      if (row.OffCentre) {
        const std::int32_t fields[] = {10, 1, 20, 1, 3, 1, -2, 1};
        for (std::size_t i = 0; i < 8; ++i)
          for (std::size_t b = 0; b < 4; ++b)
            file[places.Crop + 4 * i + b] =
                static_cast<std::uint8_t>(static_cast<std::uint32_t>(fields[i]) >> (24 - 8 * b));
      }
      EXPECT_EQ(test::LoadPictureMemory("HEIF", file.data(), file.size(), "t"),
                row.ByHand(untransformed));
    }
  }
}

// Where each property list of a HEIC that libheif wrote (an ipma box of
// version 0, 8-bit numbers) names each type of property: the lists in the
// order of their items, the places by property type.
std::vector<std::map<std::string, std::size_t>> ListedPlaces(const Bytes& file) {
  std::vector<std::string> types;  // of the properties, in their order
  const std::size_t ipco = PlaceOf(file, "ipco");
  for (std::size_t child = ipco + 4; child < ipco - 4 + BigEndian32(file, ipco - 4);
       child += BigEndian32(file, child))
    types.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(child + 4),
                       file.begin() + static_cast<std::ptrdiff_t>(child + 8));
  std::size_t at = PlaceOf(file, "ipma") + 8;
  std::vector<std::map<std::string, std::size_t>> lists(BigEndian32(file, at));
  at += 4;
  for (auto& list : lists) {
    const std::size_t count = file[at + 2];
    at += 3;
    for (std::size_t i = 0; i < count; ++i, ++at) {
      const std::size_t number = file[at] & 0x7F;
      if (number >= 1 && number <= types.size()) list[types[number - 1]] = at;
    }
  }
  return lists;
}

// An 8-bit HEIC as libheif itself decodes it, transforms and all, laid
// over white by the intake's rule.
Image LibheifDecoded(const Bytes& file) {
  heif_context* context = heif_context_alloc();
  heif_image_handle* handle = nullptr;
  heif_image* decoded = nullptr;
  Image image;
  if (heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr).code ==
          heif_error_Ok &&
      heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
      heif_decode_image(handle, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                        nullptr)
              .code == heif_error_Ok) {
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    image = Image(heif_image_get_width(decoded, heif_channel_interleaved),
                  heif_image_get_height(decoded, heif_channel_interleaved));
    TSampleRule rule;
    rule.SamplesPerPixel = 4;
    rule.Alpha = 3;
    std::vector<std::uint16_t> row(4 * static_cast<std::size_t>(image.Width()));
    for (std::int32_t y = 0; y < image.Height(); ++y) {
      std::copy_n(plane + y * stride, row.size(), row.begin());
      SamplesToBgr(row.data(), image.Width(), rule, image.Row(y));
    }
  }
  if (decoded) heif_image_release(decoded);
  if (handle) heif_image_handle_release(handle);
  heif_context_free(context);
  return image;
}

// A HEIC's picture, its transparency and the picture a copy copies each
// stand as their own turns, mirrors and crops say: at 8 bits as libheif
// shows them, at 10 bits (where libheif mirrors nothing) as libheif shows
// the same file of 8 bits, on average.
TEST(FormatsIntake, HeifLevelsStandByTheirOwnTransformations) {
  if (!heif_have_encoder_for_format(heif_compression_HEVC))
    GTEST_SKIP() << "this libheif has no HEVC encoder to write the test pictures";
  test::TempDir dir;
  const auto written = [&](int bits, const std::function<bool(heif_context*)>& add) {
    const std::string path = dir.file("made.heic");
    heif_context* context = heif_context_alloc();
    const bool made =
        add(context) && heif_context_write_to_file(context, path.c_str()).code == heif_error_Ok;
    heif_context_free(context);
    EXPECT_TRUE(made) << bits << " bits";
    return made ? ReadFileBytes(path) : Bytes();
  };
  // Both mirrored, the picture's list first; the numbers named in `hidden`
  // then set to 0, which names no property.  Sides of 64 are coded as they
  // are, without a crop.
  const auto mirrored = [&](int bits, std::vector<std::pair<std::size_t, const char*>> hidden) {
    Bytes file = written(bits, [&](heif_context* context) {
      return AddTurnedPicture(context, HeifTestPattern(64, 64), heif_orientation_flip_horizontally,
                              bits, true, true);
    });
    const auto lists = ListedPlaces(file);
    for (const auto& [list, type] : hidden) file.at(lists.at(list).at(type)) = 0;
    return file;
  };
  const struct {
    const char* What;
    int Bits;
    std::function<Bytes(int bits)> Made;
  } rows[] = {
      // A transparency without transformations stands as stored.
      {"the picture mirrored, its transparency bare", 8,
       [&](int bits) {
         return mirrored(bits, {{1, "imir"}});
       }},
      {"both mirrored", 10, [&](int bits) { return mirrored(bits, {}); }},
      {"the transparency alone mirrored", 10,
       [&](int bits) {
         return mirrored(bits, {{0, "imir"}});
       }},
      {"the picture alone mirrored", 10,
       [&](int bits) {
         return mirrored(bits, {{1, "imir"}});
       }},
      // The picture is turned; the transparency is another picture's, stored
      // as the turned picture stands: unturned, the two differ in shape.
      {"the picture turned, its transparency stored turned", 8,
       [&](int bits) {
         Bytes file = written(bits, [&](heif_context* context) {
           return AddTurnedPicture(context, HeifTestPattern(64, 128), heif_orientation_rotate_90_cw,
                                   bits, true, false) &&
                  AddTurnedPicture(context, HeifTestPattern(128, 64), heif_orientation_normal, bits,
                                   true, true);
         });
         file.at(PlaceOf(file, "auxl") + 9) = 1;  // the transparency of item 1
         return file;
       }},
      // libheif writes a grid of one larger tile and mirrors the grid; the
      // grid becomes a copy of the tile, and the tile is mirrored instead.
      {"a copy of a mirrored picture", 10,
       [&](int bits) {
         Bytes file = written(bits, [&](heif_context* context) {
           return AddTurnedPicture(context, HeifTestPattern(48, 40),
                                   heif_orientation_flip_horizontally, bits, false, false);
         });
         const std::size_t lists = PlaceOf(file, "ipma") + 12;
         const Bytes asWritten = {0, 1, 2, 0x81, 2, /**/ 0, 2, 3, 3, 4, 0x85};
         const Bytes asCopy = {0, 2, 2, 2, 5, /**/ 0, 1, 3, 0x81, 2, 3};
         if (!std::equal(asWritten.begin(), asWritten.end(),
                         file.begin() + static_cast<std::ptrdiff_t>(lists)))
           return Bytes();
         std::copy(asCopy.begin(), asCopy.end(), file.begin() + static_cast<std::ptrdiff_t>(lists));
         std::copy_n("iden", 4, file.begin() + static_cast<std::ptrdiff_t>(PlaceOf(file, "grid")));
         return file;
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.What);
    const Bytes file = row.Made(row.Bits);
    Image loaded;
    EXPECT_NO_THROW(loaded = test::LoadPictureMemory("HEIF", file.data(), file.size(), "t"));
    if (row.Bits == 8)
      EXPECT_EQ(loaded, LibheifDecoded(file));
    else
      EXPECT_LT(MeanDifference(loaded, LibheifDecoded(row.Made(8))), 2.0);
  }
}

// HEIF: libheif's turning and mirroring, within a level on average of
// heif-convert's own decoding; an EXIF orientation inside is not applied.
TEST(FormatsIntake, HeifStandsAsItsTransformationsSayNotAsItsExif) {
  TAVREN_REQUIRE_PICTURE_TOOLS();
  TAVREN_REQUIRE_TOOL("heif-convert");
  TAVREN_REQUIRE_CORPUS();
  test::TempDir dir;
  const Image stored = DecodeJpegFile(test::TestDataPath("small_photo.jpg"));
  ASSERT_TRUE(WriteTurnedHeic(stored, heif_orientation_rotate_90_cw_then_flip_horizontally,
                              dir.file("t.heic")));
  const Image turned = LoadPicture(dir.file("t.heic"));
  Image expected = stored;
  ApplyOrientation(expected, 5);
  EXPECT_LT(MeanDifference(turned, expected), 4.0);
  ExpectSizeFromTheHeader(dir.file("t.heic"), expected);

  // heif-enc keeps a JPEG's EXIF (orientation 6 here) and stores the
  // pixels as the JPEG does, without transformations.
  const std::string photo = (test::CorpusDir() / "orientation/landscape_6.jpg").string();
  ASSERT_TRUE(test::MakePicture(photo, dir.file("e.heic")));
  const Image asStored = LoadPicture(dir.file("e.heic"));
  EXPECT_LT(MeanDifference(asStored, DecodeJpegFile(photo)), 4.0);

  // Deeper than 8 bits: 10-bit samples to their nearest 8-bit levels.
  const std::string deep = dir.file("deep.png");
  ASSERT_TRUE(test::MakePicture(test::TestDataPath("small_photo.jpg"), "PNG48:" + deep));
  ASSERT_TRUE(test::RunQuietly("heif-enc -q 95 -b 10 -o " + dir.file("d.heic") + " " + deep));
  EXPECT_LT(MeanDifference(LoadPicture(dir.file("d.heic")), LoadPicture(deep)), 4.0);

  for (const char* name : {"t.heic", "e.heic", "d.heic"}) {
    ASSERT_TRUE(test::RunQuietly("heif-convert " + dir.file(name) + " " + dir.file("c.png")));
    const Bytes png = ReadFileBytes(dir.file("c.png"));  // its EXIF copy is not for us
    EXPECT_LE(MeanDifference(LoadPicture(dir.file(name)),
                             DecodePng(TMemoryByteSource(png.data(), png.size()), "c.png")),
              1.0)
        << name;
  }
  ExpectLongTailUnread(dir.file("e.heic"));
}

// PNG and WebP: the orientation of their EXIF block, as for a JPEG; TIFF:
// its own Orientation tag.  Make and model come from the same place.
TEST(FormatsIntake, PngWebpAndTiffStandAsTheirOrientationSays) {
  TAVREN_REQUIRE_PICTURE_TOOLS();
  TAVREN_REQUIRE_TOOL("exiftool");
  test::TempDir dir;
  const std::string plain = dir.file("plain.png");
  ASSERT_TRUE(test::MakePicture(test::TestDataPath("small_photo.jpg"), plain, "-strip"));
  Image expected = LoadPicture(plain);
  ApplyOrientation(expected, 7);
  for (const char* name : {"o.png", "o.webp", "o.tif"}) {
    SCOPED_TRACE(name);
    const std::string file = dir.file(name);
    ASSERT_TRUE(test::MakePicture(plain, file));
    ASSERT_TRUE(test::RunQuietly(
        "exiftool -overwrite_original -Orientation#=7 -Make=Maker -Model='Model 7' " + file));
    EXPECT_EQ(LoadPicture(file), expected);
    ExpectSizeFromTheHeader(file, expected);
    const TSourceMetadata metadata = ReadSourceMetadata(file);
    EXPECT_EQ(metadata.Make, "Maker");
    EXPECT_EQ(metadata.Model, "Model 7");
    ExpectLongTailUnread(file);
  }
  // A JPEG's decoder stops at the picture's end marker.
  const std::string jpeg = dir.file("o.jpg");
  ASSERT_TRUE(test::MakePicture(plain, jpeg));
  ExpectLongTailUnread(jpeg);
}

// The colour profile and the camera texts of a photo, carried into each
// format by its usual tool, are what the saved copy takes over.
TEST(FormatsIntake, EachFormatKeepsTheProfileAndTheCamera) {
  TAVREN_REQUIRE_PICTURE_TOOLS();
  TAVREN_REQUIRE_TOOL("exiftool");
  TAVREN_REQUIRE_CORPUS();
  test::TempDir dir;
  // A photo with a profile other than sRGB (which ImageMagick would write
  // as a PNG sRGB chunk instead), given a camera.
  const std::string photo = dir.file("photo.jpg");
  fs::copy_file(test::CorpusDir() / "orientation/landscape_8.jpg", photo);
  ASSERT_TRUE(
      test::RunQuietly("exiftool -overwrite_original -Make=Canon '-Model=Canon EOS 40D' " + photo));
  ASSERT_TRUE(test::RunQuietly("sh -c " + test::ShellQuoted("exiftool -b -ICC_Profile " + photo +
                                                            " > " + dir.file("p.icc"))));
  const Bytes profile = ReadFileBytes(dir.file("p.icc"));
  ASSERT_GT(profile.size(), 128u);
  std::vector<std::string> names = {"p.png", "p.webp", "p.tif", "p.heic"};
  if (IsOpenablePicture("p.avif")) names.push_back("p.avif");
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string file = dir.file(name);
    ASSERT_TRUE(test::MakePicture(photo, file));
    if (name == "p.tif") {  // ImageMagick leaves the camera out of a TIFF
      ASSERT_TRUE(test::RunQuietly(
          "exiftool -overwrite_original -Make=Canon '-Model=Canon EOS 40D' " + file));
    }
    const TSourceMetadata metadata = ReadSourceMetadata(file);
    EXPECT_EQ(metadata.Make, "Canon");
    EXPECT_EQ(metadata.Model, "Canon EOS 40D");
    EXPECT_EQ(metadata.IccProfile, profile);
  }
}

}  // namespace
}  // namespace tavren
