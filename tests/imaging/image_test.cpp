#include "imaging/image.h"

#include <gtest/gtest.h>

namespace tavren {
namespace {

TEST(Image, RowsArePackedBlueGreenRed) {
  Image image(3, 2);
  EXPECT_EQ(image.Stride(), 9u);
  EXPECT_EQ(image.ByteSize(), 18u);
  image.Row(1)[3 * 2 + 2] = 200;  // red of the last pixel of the bottom row
  EXPECT_EQ(image.Data()[9 + 8], 200);
}

TEST(Image, HasPixelsAndPixelCount) {
  std::int32_t count = 77;
  EXPECT_FALSE(ImageHasPixels(nullptr));
  EXPECT_FALSE(ImagePixelCount(nullptr, count));
  EXPECT_EQ(count, 77);

  Image empty(0, 5);
  EXPECT_FALSE(ImageHasPixels(empty));
  EXPECT_FALSE(ImagePixelCount(empty, count));
  EXPECT_EQ(count, 77);

  Image one(1, 1);
  EXPECT_TRUE(ImagePixelCount(one, count));
  EXPECT_EQ(count, 1);
}

TEST(Image, MovedAwayPictureIsEmpty) {
  Image source(4, 3);
  source.Row(2)[11] = 7;
  Image taken(std::move(source));
  EXPECT_FALSE(ImageHasPixels(source));
  EXPECT_EQ(source.Width(), 0);
  EXPECT_EQ(taken.Row(2)[11], 7);
  Image assigned;
  assigned = std::move(taken);
  EXPECT_FALSE(ImageHasPixels(taken));
  EXPECT_EQ(assigned.Width(), 4);
  EXPECT_EQ(assigned.ByteSize(), 36u);
}

TEST(Image, CopyImageNullSourceLeavesTarget) {
  auto target = std::make_unique<Image>(2, 2);
  Image* before = target.get();
  CopyImage(nullptr, target, true);
  EXPECT_EQ(target.get(), before);
  EXPECT_EQ(target->Width(), 2);
}

TEST(Image, CopyImageReusesOrReplacesTarget) {
  Image source(4, 3);
  source.Row(2)[0] = 9;
  auto target = std::make_unique<Image>(1, 1);
  Image* before = target.get();
  CopyImage(&source, target, false);
  EXPECT_EQ(target.get(), before);
  EXPECT_EQ(*target, source);

  CopyImage(&source, target, true);
  EXPECT_NE(target.get(), before);
  EXPECT_EQ(*target, source);

  std::unique_ptr<Image> none;
  CopyImage(&source, none, false);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(*none, source);
  none->Row(0)[0] = 1;  // the copy is independent
  EXPECT_EQ(source.Row(0)[0], 0);
}

}  // namespace
}  // namespace tavren
