#include "imaging/image.h"

#include <gtest/gtest.h>

#include <cstring>

#include <vector>

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

TEST(Image, LargeBlocksGivenBackServeTheNextPictureOfTheirSize) {
  ReleaseSparePixels();
  const std::uint8_t* first;
  {
    Image picture(1000, 1000);  // 3 MB
    first = picture.Data();
    picture.Data()[12345] = 77;
  }
  EXPECT_EQ(SparePixelBytes(), 3'000'000u);
  Image other(1000, 999);  // another size: a block of its own
  EXPECT_NE(other.Data(), first);
  const Image again(1000, 1000);
  EXPECT_EQ(again.Data(), first);
  EXPECT_EQ(again.Data()[12345], 0);  // a new picture is black, whatever the block held
  EXPECT_EQ(SparePixelBytes(), 0u);

  Image small(10, 10);  // small blocks are not kept
  small = Image();
  EXPECT_EQ(SparePixelBytes(), 0u);
}

TEST(Image, KeptBlocksStayUnderTheirBoundOldestGoingFirst) {
  ReleaseSparePixels();
  std::vector<Image> pictures;
  for (int i = 0; i < 30; ++i) pictures.emplace_back(1000, 1000 + i);
  const std::uint8_t* newest = pictures.back().Data();
  for (Image& picture : pictures) picture = Image();  // given back oldest first
  EXPECT_LE(SparePixelBytes(), kSparePixelBytes);
  EXPECT_GT(SparePixelBytes(), kSparePixelBytes - 3'100'000u);
  EXPECT_EQ(Image(1000, 1029).Data(), newest);  // taken, then given back
  const std::size_t kept = SparePixelBytes();
  {
    const Image oldest(1000, 1000);  // its block went back to the system
    EXPECT_EQ(SparePixelBytes(), kept);
  }
  ReleaseSparePixels();
  EXPECT_EQ(SparePixelBytes(), 0u);
}

TEST(Image, PagesPutInPlaceMeanwhileKeepWhatIsWritten) {
  // Written from the top while the memory is put in place from the top as
  // well: nothing written may be lost, whichever side reaches a page first.
  for (int round = 0; round < 3; ++round) {
    Image picture;
    picture.ResetForOverwrite(4000, 2000 + round);  // 24 MB, a fresh block each round
    {
      const PagesInAdvance pages(picture.Data(), picture.ByteSize());
      for (std::int32_t y = 0; y < picture.Height(); ++y)
        std::memset(picture.Row(y), (y + round) % 251, picture.Stride());
    }
    for (std::int32_t y = 0; y < picture.Height(); y += 7)
      ASSERT_EQ(picture.Row(y)[picture.Stride() - 1], (y + round) % 251) << y;
  }
}

}  // namespace
}  // namespace tavren
