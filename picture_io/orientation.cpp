#include "picture_io/orientation.h"

#include <cstddef>
#include <cstdint>

#include "picture_io/exif_reader.h"

namespace tavren {

namespace {

// Where the shown pixel (x, y) comes from in the stored picture: a starting
// pixel and the stored pixel steps taken per shown column and per shown row.
struct Walk {
  std::ptrdiff_t StartX, StartY;
  std::ptrdiff_t ColumnDx, ColumnDy;  // one shown column to the right
  std::ptrdiff_t RowDx, RowDy;        // one shown row down
};

Walk WalkFor(int orientation, std::ptrdiff_t w, std::ptrdiff_t h) {
  switch (orientation) {
    case 2:
      return {w - 1, 0, -1, 0, 0, 1};
    case 3:
      return {w - 1, h - 1, -1, 0, 0, -1};
    case 4:
      return {0, h - 1, 1, 0, 0, -1};
    case 5:
      return {0, 0, 0, 1, 1, 0};
    case 6:
      return {0, h - 1, 0, -1, 1, 0};
    case 7:
      return {w - 1, h - 1, 0, -1, -1, 0};
    case 8:
      return {w - 1, 0, 0, 1, -1, 0};
    default:
      return {0, 0, 1, 0, 0, 1};
  }
}

}  // namespace

void ApplyOrientation(Image& image, int orientation) {
  if (orientation < 2 || orientation > 8 || !ImageHasPixels(image)) return;
  const bool swapsSides = orientation >= 5;
  const std::int32_t width = swapsSides ? image.Height() : image.Width();
  const std::int32_t height = swapsSides ? image.Width() : image.Height();
  const Walk walk = WalkFor(orientation, image.Width(), image.Height());
  const auto stride = static_cast<std::ptrdiff_t>(image.Stride());
  const std::ptrdiff_t columnStep = 3 * walk.ColumnDx + stride * walk.ColumnDy;
  const std::ptrdiff_t rowStep = 3 * walk.RowDx + stride * walk.RowDy;

  Image shown;
  shown.ResetForOverwrite(width, height);  // every pixel is written below
  const std::uint8_t* stored = image.Data();
  std::ptrdiff_t rowStart = 3 * walk.StartX + stride * walk.StartY;
  for (std::int32_t y = 0; y < height; ++y, rowStart += rowStep) {
    std::ptrdiff_t from = rowStart;
    std::uint8_t* target = shown.Row(y);
    for (std::int32_t x = 0; x < width; ++x, from += columnStep, target += 3) {
      target[0] = stored[from];
      target[1] = stored[from + 1];
      target[2] = stored[from + 2];
    }
  }
  image = std::move(shown);
}

int ExifOrientation(const std::vector<std::uint8_t>& exifBlock) {
  TExif exif;
  exif.ReadFromTiffBlock(exifBlock.data(), exifBlock.size());
  return exif.Orientation;
}

Image UprightByExif(Image image, const std::vector<std::uint8_t>& exifBlock) {
  ApplyOrientation(image, ExifOrientation(exifBlock));
  return image;
}

}  // namespace tavren
