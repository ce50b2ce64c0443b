#include "enhance/base_image.h"

#include "imaging/numeric.h"
#include "imaging/stretch.h"

namespace tavren {

namespace {

bool LimitAllowsReduction(std::int32_t limitHeight, std::int32_t limitWidth) {
  const std::int64_t w = limitWidth;
  const std::int64_t h = limitHeight;
  return w * h > 0 && w + h > 100;
}

// The reduced size keeps the source's aspect ratio: the side that binds
// takes the limit, the other is scaled and rounded (halves to even).
void ReducedSize(std::int32_t sourceWidth, std::int32_t sourceHeight, std::int32_t limitHeight,
                 std::int32_t limitWidth, std::int32_t& width, std::int32_t& height) {
  const Extended w = limitWidth;
  const Extended h = limitHeight;
  const Extended sw = sourceWidth;
  const Extended sh = sourceHeight;
  if (w / h >= sw / sh) {
    height = limitHeight;
    width = static_cast<std::int32_t>(Round(sw / (sh / h)));
  } else {
    width = limitWidth;
    height = static_cast<std::int32_t>(Round(sh / (sw / w)));
  }
  // A 10000 x 10 picture in a 100 x 60 view would otherwise get no rows.
  if (width < 1) width = 1;
  if (height < 1) height = 1;
}

}  // namespace

bool BaseImageSize(std::int32_t sourceWidth, std::int32_t sourceHeight, std::int32_t limitHeight,
                   std::int32_t limitWidth, std::int32_t& width, std::int32_t& height) {
  width = sourceWidth;
  height = sourceHeight;
  const bool larger = sourceWidth > limitWidth || sourceHeight > limitHeight;
  if (!LimitAllowsReduction(limitHeight, limitWidth) || !larger) return false;
  ReducedSize(sourceWidth, sourceHeight, limitHeight, limitWidth, width, height);
  return true;
}

TBaseImage MakeBaseImage(const Image& source, std::int32_t limitHeight, std::int32_t limitWidth) {
  TBaseImage base;
  if (!ImageHasPixels(source)) return base;
  std::int32_t width = 0;
  std::int32_t height = 0;
  if (BaseImageSize(source.Width(), source.Height(), limitHeight, limitWidth, width, height)) {
    base.Picture = std::make_unique<Image>();
    base.Picture->ResetForOverwrite(width, height);  // the stretch writes every pixel
    StretchNearest(source, *base.Picture);
    base.Reduced = true;
  } else {
    CopyImage(&source, base.Picture, true);
  }
  return base;
}

}  // namespace tavren
