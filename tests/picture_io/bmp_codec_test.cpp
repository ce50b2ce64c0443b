#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>

#include <gtest/gtest.h>

#include "intake_test_helpers.h"
#include "picture_io/bmp_codec.h"
#include "picture_io/picture_files.h"

namespace tavren {
namespace {

using test::RefusalOf;
using test::TestDataPath;
using Bytes = std::vector<std::uint8_t>;

// Files written by another program: every variant of the same picture
// decodes to the pixels of its 24-bit form.
TEST(BmpDecoder, AgreesWithFilesOfAnotherWriter) {
  const Image rose = DecodeBmpFile(TestDataPath("bmp_rose16_24.bmp"));
  ASSERT_EQ(rose.Width(), 70);
  ASSERT_EQ(rose.Height(), 46);
  for (const char* name : {"bmp_rose16_core8.bmp", "bmp_rose16_rle8.bmp", "bmp_rose16_v5_rle8.bmp",
                           "bmp_rose16_v5_8.bmp", "bmp_rose16_v5_bitfields32.bmp"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(DecodeBmpFile(TestDataPath(name)) == rose);
  }
  EXPECT_TRUE(DecodeBmpFile(TestDataPath("bmp_rose_mono1.bmp")) ==
              DecodeBmpFile(TestDataPath("bmp_rose_mono_24.bmp")));
}

Image DecodeBytes(const Bytes& bytes, const std::string& name = "test.bmp") {
  return DecodeBmp(bytes.data(), bytes.size(), name);
}

void Put16(Bytes& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& out, std::size_t at, std::uint32_t v) {
  Put16(out, at, v);
  Put16(out, at + 2, v >> 16);
}

struct Bgr {
  std::uint8_t Blue, Green, Red;
};

// Up to 16 colours whose channels are 0 or 255 or not, chosen per test.
std::vector<Bgr> Palette(int colours, bool fullScaleOnly) {
  std::vector<Bgr> palette;
  for (int i = 0; i < colours; ++i) {
    if (fullScaleOnly)
      palette.push_back({static_cast<std::uint8_t>(i & 1 ? 255 : 0),
                         static_cast<std::uint8_t>(i & 2 ? 255 : 0),
                         static_cast<std::uint8_t>(i & 4 ? 255 : 0)});
    else
      palette.push_back({static_cast<std::uint8_t>(17 * i + 3),
                         static_cast<std::uint8_t>(250 - 13 * i),
                         static_cast<std::uint8_t>((91 * i) % 256)});
  }
  return palette;
}

// Palette index of pixel (x, y) of the 7 x 5 test picture.
int IndexAt(int x, int y, int colours) { return (3 * x + 5 * y + x * y) % colours; }

constexpr int kWidth = 7, kHeight = 5;

Image Expected(const std::vector<Bgr>& palette) {
  Image image(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const Bgr c = palette[IndexAt(x, y, static_cast<int>(palette.size()))];
      std::uint8_t* p = image.Row(y) + 3 * x;
      p[0] = c.Blue;
      p[1] = c.Green;
      p[2] = c.Red;
    }
  return image;
}

struct Variant {
  std::uint32_t HeaderSize;  // 12, 40, 108 or 124
  std::uint32_t BitCount;
  std::uint32_t Compression;  // 0 RGB, 1 RLE8, 2 RLE4, 3 bit fields
  bool TopDown;
  std::array<std::uint32_t, 3> Masks;  // red, green, blue, for bit fields
};

std::uint32_t Pack(const Bgr& c, const std::array<std::uint32_t, 3>& masks) {
  std::uint32_t pixel = 0;
  const std::uint8_t channels[3] = {c.Red, c.Green, c.Blue};
  for (int i = 0; i < 3; ++i) {
    const std::uint32_t mask = masks[i];
    if (channels[i] == 255) pixel |= mask;
  }
  return pixel;
}

// The pixel data of one row, file order, without padding.
Bytes RowBytes(const Variant& v, const std::vector<Bgr>& palette, int y) {
  Bytes row;
  const int colours = static_cast<int>(palette.size());
  for (int x = 0; x < kWidth; ++x) {
    const int index = IndexAt(x, y, colours);
    const Bgr c = palette[index];
    switch (v.BitCount) {
      case 1:
        if (x % 8 == 0) row.push_back(0);
        row.back() |= static_cast<std::uint8_t>(index << (7 - x % 8));
        break;
      case 4:
        if (x % 2 == 0) row.push_back(0);
        row.back() |= static_cast<std::uint8_t>(index << (x % 2 ? 0 : 4));
        break;
      case 8:
        row.push_back(static_cast<std::uint8_t>(index));
        break;
      case 24:
        row.insert(row.end(), {c.Blue, c.Green, c.Red});
        break;
      default: {
        const std::uint32_t pixel = Pack(c, v.Masks);
        for (std::uint32_t b = 0; b < v.BitCount / 8; ++b)
          row.push_back(static_cast<std::uint8_t>(pixel >> (8 * b)));
      }
    }
  }
  return row;
}

// Run-length rows: the first row as one literal block, the others as runs
// of equal indices; each row closed, then the picture.
Bytes RleData(const Variant& v, const std::vector<Bgr>& palette) {
  const bool four = v.Compression == 2;
  const int colours = static_cast<int>(palette.size());
  Bytes out;
  for (int fileRow = 0; fileRow < kHeight; ++fileRow) {
    const int y = kHeight - 1 - fileRow;
    if (fileRow == 0) {
      out.insert(out.end(), {0, kWidth});
      Bytes literal;
      for (int x = 0; x < kWidth; ++x) {
        const auto index = static_cast<std::uint8_t>(IndexAt(x, y, colours));
        if (!four)
          literal.push_back(index);
        else if (x % 2 == 0)
          literal.push_back(static_cast<std::uint8_t>(index << 4));
        else
          literal.back() |= index;
      }
      while (literal.size() % 2) literal.push_back(0);
      out.insert(out.end(), literal.begin(), literal.end());
    } else {
      for (int x = 0; x < kWidth;) {
        const int index = IndexAt(x, y, colours);
        int run = 1;
        while (x + run < kWidth && IndexAt(x + run, y, colours) == index) ++run;
        out.insert(out.end(), {static_cast<std::uint8_t>(run),
                               static_cast<std::uint8_t>(four ? index * 17 : index)});
        x += run;
      }
    }
    out.insert(out.end(), {0, 0});
  }
  out.insert(out.end(), {0, 1});
  return out;
}

Bytes BuildBmp(const Variant& v, const std::vector<Bgr>& palette) {
  const bool core = v.HeaderSize == 12;
  const bool masksAfterHeader = v.Compression == 3 && v.HeaderSize == 40;
  const std::size_t paletteStart = 14 + v.HeaderSize + (masksAfterHeader ? 12 : 0);
  const std::size_t entries = v.BitCount <= 8 ? palette.size() : 0;
  const std::size_t pixelOffset = paletteStart + entries * (core ? 3 : 4);
  Bytes out(pixelOffset, 0);
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 10, static_cast<std::uint32_t>(pixelOffset));
  Put32(out, 14, v.HeaderSize);
  if (core) {
    Put16(out, 18, kWidth);
    Put16(out, 20, kHeight);
    Put16(out, 22, 1);
    Put16(out, 24, v.BitCount);
  } else {
    Put32(out, 18, kWidth);
    Put32(out, 22, static_cast<std::uint32_t>(v.TopDown ? -kHeight : kHeight));
    Put16(out, 26, 1);
    Put16(out, 28, v.BitCount);
    Put32(out, 30, v.Compression);
    Put32(out, 46, static_cast<std::uint32_t>(entries));
    if (v.Compression == 3)
      for (int i = 0; i < 3; ++i) Put32(out, 54 + 4 * i, v.Masks[i]);
  }
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t at = paletteStart + i * (core ? 3 : 4);
    out[at] = palette[i].Blue;
    out[at + 1] = palette[i].Green;
    out[at + 2] = palette[i].Red;
  }
  if (v.Compression == 1 || v.Compression == 2) {
    const Bytes data = RleData(v, palette);
    out.insert(out.end(), data.begin(), data.end());
  } else {
    for (int fileRow = 0; fileRow < kHeight; ++fileRow) {
      Bytes row = RowBytes(v, palette, v.TopDown ? fileRow : kHeight - 1 - fileRow);
      while (row.size() % 4) row.push_back(0);
      out.insert(out.end(), row.begin(), row.end());
    }
  }
  Put32(out, 2, static_cast<std::uint32_t>(out.size()));
  return out;
}

constexpr std::array<std::uint32_t, 3> kNoMasks{};

TEST(BmpDecoder, EveryVariantGivesTheSamePixels) {
  struct Case {
    Variant Form;
    int Colours;
    bool FullScaleOnly;
  };
  const std::array<std::uint32_t, 3> masks565{0xF800, 0x07E0, 0x001F};
  const std::array<std::uint32_t, 3> masks555{0x7C00, 0x03E0, 0x001F};
  const std::array<std::uint32_t, 3> masksRgbx{0x000000FF, 0x0000FF00, 0x00FF0000};
  const std::array<std::uint32_t, 3> masks888{0x00FF0000, 0x0000FF00, 0x000000FF};
  const Case cases[] = {
      {{12, 1, 0, false, kNoMasks}, 2, false},  {{40, 1, 0, false, kNoMasks}, 2, false},
      {{124, 1, 0, true, kNoMasks}, 2, false},  {{12, 4, 0, false, kNoMasks}, 16, false},
      {{40, 4, 0, true, kNoMasks}, 16, false},  {{108, 4, 0, false, kNoMasks}, 11, false},
      {{12, 8, 0, false, kNoMasks}, 16, false}, {{40, 8, 0, false, kNoMasks}, 16, false},
      {{108, 8, 0, true, kNoMasks}, 16, false}, {{40, 8, 1, false, kNoMasks}, 16, false},
      {{124, 8, 1, false, kNoMasks}, 5, false}, {{40, 4, 2, false, kNoMasks}, 16, false},
      {{108, 4, 2, false, kNoMasks}, 3, false}, {{12, 24, 0, false, kNoMasks}, 16, false},
      {{40, 24, 0, true, kNoMasks}, 16, false}, {{124, 24, 0, false, kNoMasks}, 16, false},
      {{40, 16, 0, false, masks555}, 8, true},  {{40, 16, 3, false, masks565}, 8, true},
      {{108, 16, 3, true, masks555}, 8, true},  {{40, 32, 0, false, masks888}, 8, true},
      {{40, 32, 3, false, masksRgbx}, 8, true}, {{124, 32, 3, true, masks888}, 8, true},
  };
  for (const Case& c : cases) {
    const Variant& v = c.Form;
    SCOPED_TRACE(testing::Message()
                 << "header " << v.HeaderSize << ", " << v.BitCount << " bpp, compression "
                 << v.Compression << (v.TopDown ? ", top-down" : ""));
    const auto palette = Palette(c.Colours, c.FullScaleOnly);
    EXPECT_TRUE(DecodeBytes(BuildBmp(v, palette)) == Expected(palette));
  }
}

// A 1 x 1 picture of one 16-bit pixel, with the given masks.
Bytes SixteenBitPixel(std::uint16_t pixel, const std::array<std::uint32_t, 3>& masks) {
  Bytes bytes = BuildBmp({40, 16, 3, false, masks}, Palette(8, true));
  Put32(bytes, 18, 1);
  Put32(bytes, 22, 1);
  const std::size_t offset = 14 + 40 + 12;
  bytes.resize(offset + 4);
  Put32(bytes, offset, pixel);
  return bytes;
}

TEST(BmpDecoder, ScalesNarrowChannelsToTheFullRange) {
  // 5-6-5: red 16 of 31, green 32 of 63, blue 31 of 31.
  const Image image =
      DecodeBytes(SixteenBitPixel(16 << 11 | 32 << 5 | 31, {0xF800, 0x07E0, 0x001F}));
  EXPECT_EQ(image.Row(0)[0], 255);
  EXPECT_EQ(image.Row(0)[1], 130);  // 32 x 255 / 63 = 129.5
  EXPECT_EQ(image.Row(0)[2], 132);  // 16 x 255 / 31 = 131.6
  // A missing mask gives 0 in its channel.
  const Image noBlue = DecodeBytes(SixteenBitPixel(0xFFFF, {0xF800, 0x07E0, 0}));
  EXPECT_EQ(noBlue.Row(0)[0], 0);
  EXPECT_EQ(noBlue.Row(0)[2], 255);
}

// ---- Hostile and malformed files ----

Bytes Good8Bit() { return BuildBmp({40, 8, 0, false, kNoMasks}, Palette(16, false)); }

void ExpectRefused(const Bytes& bytes, const std::string& part) {
  const std::string message = RefusalOf([&] { DecodeBytes(bytes, "bad.bmp"); });
  EXPECT_EQ(message.rfind("bad.bmp: ", 0), 0u) << message;
  EXPECT_NE(message.find(part), std::string::npos) << message;
}

TEST(BmpDecoder, RefusesBrokenHeaders) {
  const Bytes good = Good8Bit();
  ExpectRefused({}, "the file is empty");
  ExpectRefused(Bytes(good.begin(), good.begin() + 30), "ends before the picture does");
  Bytes signature = good;
  signature[1] = 'A';
  ExpectRefused(signature, "not a BMP picture");
  Bytes headerSize = good;
  Put32(headerSize, 14, 41);
  ExpectRefused(headerSize, "header size");
  Bytes offsetPastEnd = good;
  Put32(offsetPastEnd, 10, static_cast<std::uint32_t>(good.size()));
  ExpectRefused(offsetPastEnd, "past the end");
  Bytes offsetInHeader = good;
  Put32(offsetInHeader, 10, 20);
  ExpectRefused(offsetInHeader, "inside the header");
  Bytes compression = good;
  Put32(compression, 30, 4);
  ExpectRefused(compression, "compression");
}

TEST(BmpDecoder, RefusesImpossibleSizes) {
  const Bytes good = Good8Bit();
  const std::pair<std::int32_t, std::int32_t> sizes[] = {{0, 5}, {7, 0}, {-7, 5}};
  for (const auto& [width, height] : sizes) {
    Bytes bytes = good;
    Put32(bytes, 18, static_cast<std::uint32_t>(width));
    Put32(bytes, 22, static_cast<std::uint32_t>(height));
    ExpectRefused(bytes, "impossible size");
  }
  Bytes mostNegative = good;  // its top-down height has no positive twin
  Put32(mostNegative, 22, static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::min()));
  ExpectRefused(mostNegative, "too large");
  Bytes huge = good;
  Put32(huge, 18, 100000);
  Put32(huge, 22, 100000);
  ExpectRefused(huge, "too large");
  Bytes tinyFileBigPicture = good;
  Put32(tinyFileBigPicture, 18, 15000);
  Put32(tinyFileBigPicture, 22, 10000);
  ExpectRefused(tinyFileBigPicture, "too short for 15000 x 10000 pixels");
  ExpectRefused(Bytes(good.begin(), good.end() - 8), "too short");
}

TEST(BmpDecoder, AcceptsAMissingPadByteAfterTheLastRow) {
  Bytes good = Good8Bit();
  const Image full = DecodeBytes(good);
  good.pop_back();  // the last row's padding (7 pixels, 1 pad byte)
  EXPECT_TRUE(DecodeBytes(good) == full);
}

TEST(BmpDecoder, RefusesImpossibleDepthsAndPalettes) {
  for (std::uint16_t bpp : {0, 2, 7, 48, 64}) {
    Bytes bytes = Good8Bit();
    Put16(bytes, 28, bpp);
    ExpectRefused(bytes, "bit depth");
  }
  Bytes fieldsOn24 = BuildBmp({40, 24, 0, false, kNoMasks}, Palette(2, false));
  Put32(fieldsOn24, 30, 3);
  ExpectRefused(fieldsOn24, "bit depth");
  Bytes rleOn8 = Good8Bit();
  Put32(rleOn8, 30, 2);
  ExpectRefused(rleOn8, "bit depth");
  Bytes core16 = BuildBmp({12, 24, 0, false, kNoMasks}, Palette(2, false));
  Put16(core16, 24, 16);
  ExpectRefused(core16, "bit depth");
  Bytes palette = Good8Bit();
  Put32(palette, 46, 257);
  ExpectRefused(palette, "palette size");
}

TEST(BmpDecoder, PaletteShorterThanAnnouncedLeavesTheRestBlack) {
  // 16 entries announced as "all 256": the pixel data still starts after
  // the 16 that are there.
  Bytes bytes = Good8Bit();
  Put32(bytes, 46, 0);
  EXPECT_TRUE(DecodeBytes(bytes) == Expected(Palette(16, false)));
}

// An 8-bit run-length picture of 4 x 3 from the given data.
Bytes Rle8(const Bytes& data, std::int32_t width = 4, std::int32_t height = 3) {
  Bytes bytes = BuildBmp({40, 8, 1, false, kNoMasks}, Palette(4, false));
  Put32(bytes, 18, static_cast<std::uint32_t>(width));
  Put32(bytes, 22, static_cast<std::uint32_t>(height));
  bytes.resize(14 + 40 + 4 * 4);
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

// Pixel colour as palette index (or -1 for untouched black).
int IndexOf(const Image& image, int x, int y) {
  const auto palette = Palette(4, false);
  const std::uint8_t* p = image.Row(y) + 3 * x;
  for (int i = 0; i < 4; ++i)
    if (p[0] == palette[i].Blue && p[1] == palette[i].Green && p[2] == palette[i].Red) return i;
  return p[0] == 0 && p[1] == 0 && p[2] == 0 ? -1 : -2;
}

TEST(BmpDecoder, RunLengthDataStaysInsideThePicture) {
  // A run of 200 on a 4-pixel row, a literal of 6, a move past the right
  // edge and one far below the picture: everything outside is dropped.
  const Image image = DecodeBytes(Rle8({200, 1, 0, 0,                      // bottom row: 1 1 1 1
                                        0,   6, 2, 3,   2, 3, 2, 3, 0, 0,  // middle: 2 3 2 3
                                        0,   2, 3, 0,   5, 2,           // move to x 3, then 5 x 2
                                        0,   2, 0, 200, 9, 1, 0, 1}));  // far below; end
  EXPECT_EQ(IndexOf(image, 0, 2), 1);
  EXPECT_EQ(IndexOf(image, 3, 2), 1);
  EXPECT_EQ(IndexOf(image, 0, 1), 2);
  EXPECT_EQ(IndexOf(image, 1, 1), 3);
  EXPECT_EQ(IndexOf(image, 2, 0), -1);
  EXPECT_EQ(IndexOf(image, 3, 0), 2);
  // Indices beyond the palette give black.
  const Image beyond = DecodeBytes(Rle8({4, 200, 0, 1}));
  EXPECT_EQ(IndexOf(beyond, 0, 2), -1);
}

TEST(BmpDecoder, RefusesRunLengthDataThatEndsEarly) {
  ExpectRefused(Rle8({4, 1, 0, 0}), "ends before the picture does");
  ExpectRefused(Rle8({4, 1, 0, 2, 1}), "ends before the picture does");
  ExpectRefused(Rle8({0, 5, 1, 2, 3}), "middle of a run");
  // A few bytes cannot describe a huge picture.
  ExpectRefused(Rle8({0, 1}, 15000, 10000), "too short for 15000 x 10000 pixels");
  Bytes topDown = Rle8({0, 1});
  Put32(topDown, 22, static_cast<std::uint32_t>(-3));
  ExpectRefused(topDown, "top-down");
}

// ---- Writer ----

TEST(BmpWriter, RoundTripsAndPadsRows) {
  test::TempDir dir;
  const Image picture = test::RandomImage(7, 5, 11);
  const std::string path = dir.file("out.bmp");
  WriteBmpFile(picture, path);
  EXPECT_EQ(std::filesystem::file_size(path), 54u + 24u * 5u);  // 21 bytes a row, padded to 24
  EXPECT_TRUE(DecodeBmpFile(path) == picture);
  // Overwriting replaces the file and leaves nothing else behind.
  const Image other = test::RandomImage(4, 4, 12);
  WriteBmpFile(other, path);
  EXPECT_TRUE(DecodeBmpFile(path) == other);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(BmpWriter, AFailedWriteLeavesNoFileAndKeepsTheOld) {
  test::TempDir dir;
  const std::string missing = dir.file("no/such/folder/out.bmp");
  EXPECT_NE(RefusalOf([&] { WriteBmpFile(test::RandomImage(2, 2, 1), missing); }).find(missing),
            std::string::npos);
  const std::string path = dir.file("kept.bmp");
  const Image old = test::RandomImage(3, 2, 5);
  WriteBmpFile(old, path);
  RefusalOf([&] { WriteBmpFile(Image(), path); });
  EXPECT_TRUE(DecodeBmpFile(path) == old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace tavren
