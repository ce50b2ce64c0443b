#include "picture_io/orientation.h"

#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "jpeg_export/jpeg_export.h"
#include "picture_io/picture_files.h"

#include "support/test_support.h"

namespace tavren {
namespace {

// A picture whose every pixel tells its stored place: blue = x, green = y.
Image Numbered(std::int32_t width, std::int32_t height) {
  Image image(width, height);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      image.Row(y)[3 * x] = static_cast<std::uint8_t>(x);
      image.Row(y)[3 * x + 1] = static_cast<std::uint8_t>(y);
      image.Row(y)[3 * x + 2] = 200;
    }
  return image;
}

// The stored (x, y) shown at (x, y) of the turned picture.
std::pair<int, int> From(const Image& shown, int x, int y) {
  return {shown.Row(y)[3 * x], shown.Row(y)[3 * x + 1]};
}

Image Oriented(const Image& image, int orientation) {
  Image copy = image;
  ApplyOrientation(copy, orientation);
  return copy;
}

TEST(Orientation, TurnsClockwiseAndCounterClockwise) {
  // Stored 3 x 2:   (0,0) (1,0) (2,0)
  //                 (0,1) (1,1) (2,1)
  const Image stored = Numbered(3, 2);
  const Image cw = Oriented(stored, 6);
  ASSERT_EQ(cw.Width(), 2);
  ASSERT_EQ(cw.Height(), 3);
  // Turned clockwise, the stored left column becomes the top row, read
  // from the bottom up.
  EXPECT_EQ(From(cw, 0, 0), std::make_pair(0, 1));
  EXPECT_EQ(From(cw, 1, 0), std::make_pair(0, 0));
  EXPECT_EQ(From(cw, 0, 2), std::make_pair(2, 1));
  EXPECT_EQ(From(cw, 1, 2), std::make_pair(2, 0));

  const Image ccw = Oriented(stored, 8);
  EXPECT_EQ(From(ccw, 0, 0), std::make_pair(2, 0));
  EXPECT_EQ(From(ccw, 1, 0), std::make_pair(2, 1));
  EXPECT_EQ(From(ccw, 0, 2), std::make_pair(0, 0));
  EXPECT_EQ(From(ccw, 1, 2), std::make_pair(0, 1));
}

TEST(Orientation, MirrorsAndDiagonals) {
  const Image stored = Numbered(4, 3);
  EXPECT_EQ(From(Oriented(stored, 2), 0, 0), std::make_pair(3, 0));
  EXPECT_EQ(From(Oriented(stored, 3), 0, 0), std::make_pair(3, 2));
  EXPECT_EQ(From(Oriented(stored, 4), 0, 0), std::make_pair(0, 2));
  const Image transposed = Oriented(stored, 5);
  EXPECT_EQ(From(transposed, 2, 1), std::make_pair(1, 2));
  const Image transverse = Oriented(stored, 7);
  EXPECT_EQ(From(transverse, 0, 0), std::make_pair(3, 2));
  EXPECT_EQ(From(transverse, 2, 0), std::make_pair(3, 0));
}

// Each orientation as a composition of the simpler ones, on a random picture.
TEST(Orientation, AgreesWithItsCompositions) {
  const Image stored = test::RandomImage(7, 5, 11);
  EXPECT_EQ(Oriented(stored, 3), Oriented(Oriented(stored, 2), 4));
  EXPECT_EQ(Oriented(stored, 6), Oriented(Oriented(stored, 5), 2));
  EXPECT_EQ(Oriented(stored, 8), Oriented(Oriented(stored, 5), 4));
  EXPECT_EQ(Oriented(stored, 7), Oriented(Oriented(stored, 5), 3));
  EXPECT_EQ(Oriented(Oriented(stored, 6), 8), stored);
  for (int self : {2, 3, 4, 5, 7}) EXPECT_EQ(Oriented(Oriented(stored, self), self), stored);
}

TEST(Orientation, OtherValuesAndEmptyPicturesStayAsTheyAre) {
  const Image stored = test::RandomImage(3, 4, 2);
  for (int value : {-1, 0, 1, 9, 255}) EXPECT_EQ(Oriented(stored, value), stored);
  Image empty;
  ApplyOrientation(empty, 6);
  EXPECT_EQ(empty.Width(), 0);
  const Image line = Oriented(test::RandomImage(5, 1, 3), 6);
  EXPECT_EQ(line.Width(), 1);
  EXPECT_EQ(line.Height(), 5);
}

}  // namespace
}  // namespace tavren

namespace tavren {
namespace {

// The upright file of each scene was made by another program and is about
// 13 levels brighter than the others, so the mean difference is taken out
// before the mean absolute difference is measured.  Same scene: about 6 to
// 7.5; a wrong turn: 40 and more.
constexpr double kSameScene = 10;
constexpr double kOtherScene = 30;

double MeanAbsoluteDifference(const Image& a, const Image& b) {
  const auto count = static_cast<double>(a.ByteSize());
  double offset = 0;
  for (std::size_t i = 0; i < a.ByteSize(); ++i) offset += a.Data()[i] - b.Data()[i];
  offset /= count;
  double sum = 0;
  for (std::size_t i = 0; i < a.ByteSize(); ++i)
    sum += std::fabs(a.Data()[i] - b.Data()[i] - offset);
  return sum / count;
}

// The corpus holds one landscape and one portrait scene stored with every
// orientation.  Loaded, each must stand like the one stored upright (JPEG
// blocks differ a little between the files); any other turn of the stored
// pixels must look clearly different.  Saved, the picture stays upright.
TEST(OrientationCorpus, EveryStoredOrientationLoadsUpright) {
  TAVREN_REQUIRE_CORPUS();
  const std::filesystem::path folder = test::CorpusDir() / "orientation";
  test::TempDir dir;
  for (const std::string scene : {"landscape", "portrait"}) {
    const Image upright = LoadPicture((folder / (scene + "_1.jpg")).string());
    for (int stored = 1; stored <= 8; ++stored) {
      const std::string file = (folder / (scene + "_" + std::to_string(stored) + ".jpg")).string();
      SCOPED_TRACE(file);
      const Image shown = LoadPicture(file);
      ASSERT_EQ(shown.Width(), upright.Width());
      ASSERT_EQ(shown.Height(), upright.Height());
      EXPECT_LT(MeanAbsoluteDifference(shown, upright), kSameScene);

      // Saved, it carries no orientation and opens upright everywhere.
      const std::string saved = dir.file(scene + std::to_string(stored) + ".jpg");
      SaveJpegWithExif(shown, saved, file);
      const Image reopened = LoadPicture(saved);
      ASSERT_EQ(reopened.Width(), upright.Width());
      EXPECT_LT(MeanAbsoluteDifference(reopened, upright), kSameScene);

      const Image asStored = DecodeJpegFile(file);
      for (int wrong = 1; wrong <= 8; ++wrong) {
        if (wrong == stored) continue;
        Image turned = asStored;
        ApplyOrientation(turned, wrong);
        if (turned.Width() != upright.Width()) continue;
        EXPECT_GT(MeanAbsoluteDifference(turned, upright), kOtherScene) << "turned as " << wrong;
      }
    }
  }
}

}  // namespace
}  // namespace tavren
