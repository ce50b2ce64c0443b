#include <gtest/gtest.h>

#include "enhance/base_image.h"
#include "imaging/stretch.h"
#include "support/test_support.h"

namespace tavren {
namespace {

// Each pixel encodes its own position: blue = column, green = row.
Image PositionImage(std::int32_t width, std::int32_t height) {
  Image image(width, height);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* p = image.Row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = static_cast<std::uint8_t>(x ^ y);
    }
  return image;
}

TEST(StretchNearest, TargetColumnTakesSourceColumnXTimesSourceWidthDivTargetWidth) {
  const Image source = PositionImage(10, 7);
  Image target(4, 3);
  StretchNearest(source, target);
  // Columns 0, 10/4 = 2, 20/4 = 5, 30/4 = 7; rows 0, 7/3 = 2, 14/3 = 4.
  const int columns[] = {0, 2, 5, 7};
  const int rows[] = {0, 2, 4};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      const std::uint8_t* p = target.Row(y) + 3 * x;
      EXPECT_EQ(p[0], columns[x]) << x << "," << y;
      EXPECT_EQ(p[1], rows[y]) << x << "," << y;
      EXPECT_EQ(p[2], columns[x] ^ rows[y]);
    }
}

TEST(StretchNearest, EnlargingRepeatsAndSameSizeCopies) {
  const Image source = PositionImage(3, 2);
  Image wide(6, 2);
  StretchNearest(source, wide);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(wide.Row(1)[3 * x], x / 2);

  Image same(3, 2);
  StretchNearest(source, same);
  EXPECT_EQ(same, source);
}

TEST(StretchNearest, EmptyImagesAreLeftAlone) {
  Image empty;
  Image target(2, 2);
  target.Data()[0] = 7;
  StretchNearest(empty, target);
  EXPECT_EQ(target.Data()[0], 7);
  StretchNearest(PositionImage(2, 2), empty);
  EXPECT_FALSE(ImageHasPixels(empty));
}

struct BaseCase {
  std::int32_t Width, Height;            // picture
  std::int32_t LimitWidth, LimitHeight;  // view
  std::int32_t BaseWidth, BaseHeight;
  bool Reduced;
};

class MakeBaseImageSizes : public ::testing::TestWithParam<BaseCase> {};

TEST_P(MakeBaseImageSizes, FitsTheView) {
  const BaseCase c = GetParam();
  const Image source = test::RandomImage(c.Width, c.Height, 5);
  const TBaseImage base = MakeBaseImage(source, c.LimitHeight, c.LimitWidth);
  ASSERT_NE(base.Picture, nullptr);
  EXPECT_EQ(base.Picture->Width(), c.BaseWidth);
  EXPECT_EQ(base.Picture->Height(), c.BaseHeight);
  EXPECT_EQ(base.Reduced, c.Reduced);
  if (!c.Reduced) {
    EXPECT_EQ(*base.Picture, source);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Examples, MakeBaseImageSizes,
    ::testing::Values(
        // Wide view for the picture: the height binds, 400 / (300 / 60) = 80.
        BaseCase{400, 300, 100, 60, 80, 60, true}, BaseCase{300, 400, 100, 60, 45, 60, true},
        // Picture wider than the view: the width binds, 100 / 4 = 25.
        BaseCase{400, 100, 100, 60, 100, 25, true}, BaseCase{80, 50, 100, 60, 80, 50, false},
        // A limit of width + height = 100 or less never reduces.
        BaseCase{400, 300, 60, 40, 400, 300, false}, BaseCase{400, 300, 0, 500, 400, 300, false},
        BaseCase{400, 300, -200, -300, 400, 300, false},
        // Only one side too large is enough.
        BaseCase{120, 10, 100, 60, 100, 8, true},
        // 10000 x 10 in 100 x 60 would round to 0 rows; it keeps one.
        BaseCase{10000, 10, 100, 60, 100, 1, true}, BaseCase{10, 10000, 60, 100, 1, 100, true},
        // Both sides too large.
        BaseCase{250, 100, 200, 50, 125, 50, true}, BaseCase{125, 100, 100, 20, 25, 20, true}),
    [](const ::testing::TestParamInfo<BaseCase>& info) {
      auto side = [](std::int32_t v) {
        std::string text = std::to_string(v);
        if (v < 0) text[0] = 'm';  // test names allow no minus sign
        return text;
      };
      const BaseCase& c = info.param;
      return side(c.Width) + "x" + side(c.Height) + "_in_" + side(c.LimitWidth) + "x" +
             side(c.LimitHeight);
    });

TEST(MakeBaseImage, RoundsHalvesToEven) {
  // 101 x 2 into height 1 wide view: 101 / 2 = 50.5 -> 50; 103 / 2 -> 52.
  const TBaseImage a = MakeBaseImage(test::RandomImage(101, 2, 1), 1, 200);
  ASSERT_NE(a.Picture, nullptr);
  EXPECT_EQ(a.Picture->Width(), 50);
  const TBaseImage b = MakeBaseImage(test::RandomImage(103, 2, 1), 1, 200);
  EXPECT_EQ(b.Picture->Width(), 52);
}

TEST(MakeBaseImage, ReducedPixelsArePickedByTheStretch) {
  const Image source = PositionImage(200, 150);
  const TBaseImage base = MakeBaseImage(source, 60, 100);
  ASSERT_TRUE(base.Reduced);
  Image expected(80, 60);
  StretchNearest(source, expected);
  EXPECT_EQ(*base.Picture, expected);
}

TEST(MakeBaseImage, NoPixelsNoImage) {
  const TBaseImage base = MakeBaseImage(Image(), 60, 100);
  EXPECT_EQ(base.Picture, nullptr);
  EXPECT_FALSE(base.Reduced);
}

}  // namespace
}  // namespace tavren
