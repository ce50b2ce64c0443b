#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "lumora/limits.h"
#include "lumora/lumora.h"
#include "lumora/restore_rows.h"
#include "support/test_support.h"

namespace tavren {
namespace {

using Rgb = std::array<int, 3>;

// A one-row picture of the given red, green, blue pixels.
Image Row(const std::vector<Rgb>& pixels) {
  Image image(static_cast<std::int32_t>(pixels.size()), 1);
  for (std::size_t x = 0; x < pixels.size(); ++x) {
    image.Row(0)[3 * x + 2] = static_cast<std::uint8_t>(pixels[x][0]);
    image.Row(0)[3 * x + 1] = static_cast<std::uint8_t>(pixels[x][1]);
    image.Row(0)[3 * x + 0] = static_cast<std::uint8_t>(pixels[x][2]);
  }
  return image;
}

Rgb PixelAt(const Image& image, int x) {
  const std::uint8_t* p = image.Row(0) + 3 * x;
  return {p[2], p[1], p[0]};
}

TEST(LumoraLimitChanges, GeneralLimitScalesEveryChangeOfAChannelToTheLimit) {
  // Red moves by 44 (the top), 2 and 6, both up and down; green and blue stay.
  const Image orig = Row({{100, 50, 50}, {100, 50, 50}, {100, 50, 50}, {100, 50, 50}});
  Image image = Row({{144, 50, 50}, {98, 50, 50}, {106, 50, 50}, {56, 50, 50}});
  LimitChanges(image, orig, 255, 11);
  EXPECT_EQ(PixelAt(image, 0), (Rgb{111, 50, 50}));  // 44 -> 11
  EXPECT_EQ(PixelAt(image, 1), (Rgb{100, 50, 50}));  // 2 - Round(1.5) = 0
  EXPECT_EQ(PixelAt(image, 2), (Rgb{102, 50, 50}));  // 6 - Round(4.5) = 2
  EXPECT_EQ(PixelAt(image, 3), (Rgb{89, 50, 50}));   // -44 -> -11
}

TEST(LumoraLimitChanges, ChangesWithinBothLimitsStayAsTheyAre) {
  const Image orig = test::RandomImage(9, 7, 3);
  Image image = orig;
  for (std::size_t i = 0; i < image.ByteSize(); ++i)
    image.Data()[i] = static_cast<std::uint8_t>(image.Data()[i] > 128 ? image.Data()[i] - 11
                                                                      : image.Data()[i] + 11);
  const Image before = image;
  LimitChanges(image, orig, 21, 11);
  EXPECT_EQ(image, before);
}

TEST(LumoraLimitChanges, LocalLimitActsOnTheExcessOverTheSmallestChange) {
  // Pixel 0: all three channels move by 30; no excess, nothing local to cut.
  // Pixel 1: red moves 40, green 10, blue 10: red's excess 30 is the top and
  // is cut to 20; green and blue have no excess.
  const Image orig = Row({{100, 100, 100}, {100, 100, 100}});
  Image image = Row({{130, 130, 130}, {140, 110, 90}});
  LimitChanges(image, orig, 20, 255);
  EXPECT_EQ(PixelAt(image, 0), (Rgb{130, 130, 130}));
  EXPECT_EQ(PixelAt(image, 1), (Rgb{130, 110, 90}));
}

TEST(LumoraLimitChanges, GeneralLimitUsesTheTopsMeasuredBeforeTheLocalLimit) {
  // Red's largest change is 40 before the local limit and 30 after it; the
  // general limit of 20 still scales by 20 / 40: 30 - Round(30 / 40 * 20) = 15.
  const Image orig = Row({{100, 100, 100}});
  Image image = Row({{140, 110, 110}});
  LimitChanges(image, orig, 20, 20);
  EXPECT_EQ(PixelAt(image, 0), (Rgb{115, 110, 110}));
}

// The tops computed pixel by pixel, the plain way: for each channel the
// largest change, and the largest excess over the pixel's smallest change.
TChangeTops TopsOneByOne(const Image& image, const Image& orig) {
  TChangeTops tops;
  for (std::int32_t y = 0; y < image.Height(); ++y)
    for (std::int32_t x = 0; x < image.Width(); ++x) {
      int d[3];  // red, green, blue
      for (int c = 0; c < 3; ++c)
        d[c] = std::abs(image.Row(y)[3 * x + 2 - c] - orig.Row(y)[3 * x + 2 - c]);
      const int m = *std::min_element(d, d + 3);
      for (int c = 0; c < 3; ++c) {
        tops.General[c] = std::max(tops.General[c], d[c]);
        tops.Local[c] = std::max(tops.Local[c], d[c] - m);
      }
    }
  return tops;
}

TEST(LumoraLimitChanges, TopsAreThoseOfEveryPixel) {
  // Widths around the five-pixel groups of the fast scan; a single change
  // placed on every pixel and channel in turn, so each lane must count it,
  // and random pictures with extreme values.
  std::mt19937 random(17);
  for (std::int32_t width = 1; width <= 23; ++width) {
    const Image orig = test::RandomImage(width, 2, static_cast<std::uint32_t>(width));
    for (std::int32_t x = 0; x < width; ++x)
      for (int b = 0; b < 3; ++b) {
        Image image = orig;
        std::uint8_t& byte = image.Row(1)[3 * x + b];
        byte = static_cast<std::uint8_t>(byte < 128 ? 255 : 0);
        const TChangeTops tops = MeasureChanges(image, orig, 0, 2);
        const TChangeTops expected = TopsOneByOne(image, orig);
        ASSERT_EQ(tops.General, expected.General) << width << " " << x << " " << b;
        ASSERT_EQ(tops.Local, expected.Local) << width << " " << x << " " << b;
      }
    // Every channel of every pixel moved alike: no local change at all.
    Image even = orig;
    for (std::int32_t y = 0; y < 2; ++y)
      for (std::int32_t i = 0; i < 3 * width; ++i) {
        std::uint8_t& byte = even.Row(y)[i];
        byte = static_cast<std::uint8_t>(byte < 128 ? byte + 100 : byte - 100);
      }
    EXPECT_EQ(MeasureChanges(even, orig, 0, 2).Local, (std::array<std::int32_t, 3>{0, 0, 0}))
        << width;
    EXPECT_EQ(MeasureChanges(even, orig, 0, 2).General, TopsOneByOne(even, orig).General) << width;
    Image noisy = orig;
    for (std::int32_t y = 0; y < 2; ++y)
      for (std::int32_t i = 0; i < 3 * width; ++i)
        if (random() % 3 == 0)
          noisy.Row(y)[i] = static_cast<std::uint8_t>(random() % 2 ? 255 : random());
    EXPECT_EQ(MeasureChanges(noisy, orig, 0, 2).General, TopsOneByOne(noisy, orig).General)
        << width;
    EXPECT_EQ(MeasureChanges(noisy, orig, 0, 2).Local, TopsOneByOne(noisy, orig).Local) << width;
  }
}

TEST(LumoraLimitChanges, CutsAreThereOnlyWhenAChangeExceedsALimit) {
  TChangeTops tops;
  tops.General = {51, 30, 0};
  tops.Local = {40, 51, 2};
  EXPECT_FALSE(PlanChangeCuts(tops, 51, 51).Any);
  tops.Local[2] = 52;
  const TChangeCuts cuts = PlanChangeCuts(tops, 51, 51);
  EXPECT_TRUE(cuts.Any);
  EXPECT_EQ(cuts.Local[2][52], 1);
  EXPECT_TRUE(PlanChangeCuts(tops, 0, 51).Any);
}

TEST(LumoraLimitChanges, BandsGiveTheSameBytesAsOneScan) {
  const Image orig = test::RandomImage(31, 17, 5);
  Image changed = test::RandomImage(31, 17, 6);
  Image whole = changed;
  LimitChanges(whole, orig, 21, 11);

  TChangeTops tops = MeasureChanges(changed, orig, 0, 5);
  tops.Merge(MeasureChanges(changed, orig, 5, 17));
  const TChangeCuts cuts = PlanChangeCuts(tops, 21, 11);
  ApplyChangeCuts(changed, orig, cuts, 9, 17);
  ApplyChangeCuts(changed, orig, cuts, 0, 9);
  EXPECT_EQ(changed, whole);
}

TEST(LumoraRestoreColorRatios, KeepsTheProportionsAndTakesTheNewBrightness) {
  const Image orig = Row({{200, 100, 50}, {100, 100, 100}, {0, 0, 0}, {90, 60, 30}});
  Image image = Row({{250, 150, 50}, {130, 110, 90}, {10, 20, 30}, {90, 60, 30}});
  RestoreColorRatios(image, orig);
  // Sum 450 would give 257.1, 128.6, 64.3: scaled down to 255, 127.5, 63.75.
  EXPECT_EQ(PixelAt(image, 0), (Rgb{255, 128, 64}));
  EXPECT_EQ(PixelAt(image, 1), (Rgb{110, 110, 110}));  // grey stays grey
  EXPECT_EQ(PixelAt(image, 2), (Rgb{0, 0, 0}));        // black stays black
  EXPECT_EQ(PixelAt(image, 3), (Rgb{90, 60, 30}));     // untouched
}

TEST(LumoraRestoreColorRatios, ABrightValueKnockedToZeroCountsAsFull) {
  const Image orig = Row({{250, 250, 250}, {230, 230, 230}});
  Image image = Row({{0, 255, 255}, {0, 255, 255}});
  RestoreColorRatios(image, orig);
  EXPECT_EQ(PixelAt(image, 0), (Rgb{255, 255, 255}));  // sum taken as 765
  EXPECT_EQ(PixelAt(image, 1), (Rgb{170, 170, 170}));  // 230 is not above 230
}

TEST(LumoraRestoreColorRatios, LaterChannelsAreTestedOnTheScaledValues) {
  // Green alone exceeds 255: 60, 120, 30 by 765 / 210.
  const Image orig = Row({{60, 120, 30}, {200, 150, 10}});
  Image image = Row({{255, 255, 255}, {255, 255, 255}});
  RestoreColorRatios(image, orig);
  EXPECT_EQ(PixelAt(image, 0), (Rgb{128, 255, 64}));
  // 425, 318.75, 21.25: scaling red to 255 brings green to 191.25, which is
  // then no longer above 255.
  EXPECT_EQ(PixelAt(image, 1), (Rgb{255, 191, 13}));
}

// The whole-number path must give the extended path's bytes everywhere.
TEST(LumoraRestoreColorRatios, WholeNumbersMatchExtendedOnMillionsOfPixels) {
  std::mt19937 random(20261209);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> step(-12, 12);
  for (int i = 0; i < 6'000'000; ++i) {
    int vc[3], oc[3];
    for (int c = 0; c < 3; ++c) {
      oc[c] = byte(random);
      // Half the cases move values a little, as a pass does; half anywhere.
      vc[c] = i % 2 == 0 ? std::clamp(oc[c] + step(random), 0, 255) : byte(random);
    }
    int fast[3], extended[3];
    RestorePixelRatios(vc, oc, fast);
    RestorePixelRatiosExtended(vc, oc, extended);
    ASSERT_TRUE(std::equal(fast, fast + 3, extended))
        << vc[0] << " " << vc[1] << " " << vc[2] << " from " << oc[0] << " " << oc[1] << " "
        << oc[2];
  }
}

TEST(LumoraRestoreColorRatios, DivisionBySumIsExactBelow2To18) {
  // Both sides grow with q, so agreeing just below and at every multiple of
  // the sum means agreeing on every q in between.
  constexpr int kLimit = 1 << 18;
  for (int sum = 1; sum <= 765; ++sum) {
    for (int k = 0; k * sum < kLimit; ++k) {
      const int at = k * sum;
      ASSERT_EQ(DivideBySum(at, sum), k) << at << " / " << sum;
      if (at > 0) {
        ASSERT_EQ(DivideBySum(at - 1, sum), k - 1) << at - 1 << " / " << sum;
      }
    }
    ASSERT_EQ(DivideBySum(kLimit - 1, sum), (kLimit - 1) / sum) << sum;
  }
}

TEST(LumoraRestoreColorRatios, WholeNumbersMatchExtendedOnHalvesAndTheTop) {
  // Exact halves (1 x 3 / 2 = 1.5) take the extended path, values reaching
  // 255 are scaled down in whole numbers; their neighbours are neither.
  const int cases[][6] = {{1, 1, 1, 1, 1, 0},
                          {2, 1, 0, 1, 1, 0},
                          {255, 255, 255, 200, 100, 50},
                          {0, 0, 0, 0, 0, 0},
                          {90, 0, 0, 0, 0, 0},
                          {3, 0, 0, 1, 1, 0},
                          {255, 0, 0, 254, 1, 0},
                          {5, 5, 5, 2, 2, 2},
                          {100, 100, 101, 100, 100, 100},
                          // scaled down to 255, 127.5, 0
                          {255, 255, 0, 2, 1, 0}};
  for (const auto& k : cases) {
    const int vc[3] = {k[0], k[1], k[2]};
    const int oc[3] = {k[3], k[4], k[5]};
    int fast[3], extended[3];
    RestorePixelRatios(vc, oc, fast);
    RestorePixelRatiosExtended(vc, oc, extended);
    EXPECT_TRUE(std::equal(fast, fast + 3, extended)) << k[0] << " " << k[3];
  }
}

// A row of pixels after a remap: v and o side by side, blue, green, red.
struct RowPair {
  std::vector<std::uint8_t> V, O;
};

// Random pixels, each of one kind that the restoration treats apart.
RowPair MixedRow(std::int32_t width, std::mt19937& random) {
  RowPair row{std::vector<std::uint8_t>(3 * width), std::vector<std::uint8_t>(3 * width)};
  const auto byte = [&] { return static_cast<std::uint8_t>(random()); };
  for (std::int32_t x = 0; x < width; ++x) {
    std::uint8_t* v = &row.V[3 * x];
    std::uint8_t* o = &row.O[3 * x];
    for (int b = 0; b < 3; ++b) {
      o[b] = byte();
      v[b] = static_cast<std::uint8_t>(
          std::clamp(o[b] + static_cast<int>(random() % 41) - 20, 0, 255));
    }
    switch (random() % 8) {
      case 0:  // untouched, often with a full channel (whose quotient is 255)
        if (random() % 2) o[random() % 3] = 255;
        for (int b = 0; b < 3; ++b) v[b] = o[b];
        break;
      case 1:  // black original
        o[0] = o[1] = o[2] = 0;
        break;
      case 2:  // a bright value knocked down to 0
        o[random() % 3] = static_cast<std::uint8_t>(231 + random() % 25);
        for (int b = 0; b < 3; ++b)
          if (o[b] > 230) v[b] = 0;
        break;
      case 3:  // an exact half: 1 x 3 / 2
        o[0] = 1, o[1] = 1, o[2] = 0, v[0] = 2, v[1] = 1, v[2] = 0;
        break;
      case 4:  // brighter than the channel can hold
        o[0] = 250, o[1] = 20, o[2] = 20, v[0] = 255, v[1] = 200, v[2] = 200;
        break;
      case 5:  // anywhere
        for (int b = 0; b < 3; ++b) v[b] = byte();
        break;
      default:  // a small move, as a pass makes
        break;
    }
  }
  return row;
}

TEST(LumoraRestoreColorRatios, WideRowsGiveTheBytesOfOneByOne) {
  using WideRow = bool (*)(std::uint8_t*, const std::uint8_t*, std::int32_t);
  const std::pair<const char*, WideRow> kernels[] = {{"eights", RestoreRowInEights},
                                                     {"sixteens", RestoreRowInSixteens}};
  std::mt19937 random(29);
  std::vector<std::int32_t> widths;
  for (std::int32_t w = 1; w <= 40; ++w) widths.push_back(w);
  widths.push_back(1000);
  int kernelsRun = 0;
  for (const auto& [name, restore] : kernels) {
    std::vector<std::uint8_t> probe(3);
    if (!restore(probe.data(), probe.data(), 1)) continue;  // not on this processor
    ++kernelsRun;
    for (int round = 0; round < 50; ++round) {
      for (std::int32_t width : widths) {
        RowPair row = MixedRow(width, random);
        std::vector<std::uint8_t> expected = row.V;
        RestoreRowOneByOne(expected.data(), row.O.data(), width);
        // A row must never be written beyond its end.
        std::vector<std::uint8_t> padded = row.V;
        padded.insert(padded.end(), 40, 0xA5);
        ASSERT_TRUE(restore(padded.data(), row.O.data(), width));
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), padded.begin()))
            << name << ", width " << width << ", round " << round;
        EXPECT_TRUE(
            std::all_of(padded.end() - 40, padded.end(), [](std::uint8_t b) { return b == 0xA5; }));
      }
    }
  }
  if (kernelsRun == 0) GTEST_SKIP() << "the processor has no AVX2";
}

}  // namespace
}  // namespace tavren
