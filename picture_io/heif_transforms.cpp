#include "picture_io/heif_transforms.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

#include "picture_io/orientation.h"
#include "system/error.h"

namespace tavren {

namespace {

// A fraction computed as libheif 1.15 computes a clean aperture's:
// reduced after each step, divisions truncated towards zero.  Nothing once
// a reduction leaves no denominator.
using TFraction = std::optional<THeifFraction>;

TFraction Make(std::int64_t numerator, std::int64_t denominator) {
  const THeifFraction fraction = HeifFraction(numerator, denominator);
  if (fraction.Denominator == 0) return std::nullopt;
  return fraction;
}

TFraction Plus(const TFraction& a, const TFraction& b) {
  if (!a || !b) return std::nullopt;
  if (a->Denominator == b->Denominator) return Make(a->Numerator + b->Numerator, a->Denominator);
  return Make(a->Numerator * b->Denominator + b->Numerator * a->Denominator,
              a->Denominator * b->Denominator);
}

TFraction Minus(const TFraction& a, const TFraction& b) {
  if (!b) return std::nullopt;
  return Plus(a, Make(-b->Numerator, b->Denominator));
}

TFraction PlusWhole(const TFraction& a, std::int64_t whole) {
  if (!a) return std::nullopt;
  return Make(a->Numerator + whole * a->Denominator, a->Denominator);
}

TFraction Half(const TFraction& a) {
  if (!a) return std::nullopt;
  return Make(a->Numerator, a->Denominator * 2);
}

std::optional<std::int64_t> RoundedDown(const TFraction& a) {
  if (!a) return std::nullopt;
  return a->Numerator / a->Denominator;
}

std::optional<std::int64_t> Rounded(const TFraction& a) {
  if (!a) return std::nullopt;
  return (a->Numerator + a->Denominator / 2) / a->Denominator;
}

// The first and the last column (or row) of a clean aperture of the given
// size, whose centre lies offset from the centre of a picture side of the
// given length.  libheif rounds the first column down and the first row to
// the nearest: roundDown says which.
std::optional<std::pair<std::int64_t, std::int64_t>> ApertureSpan(const THeifFraction& size,
                                                                  const THeifFraction& offset,
                                                                  std::int64_t side,
                                                                  bool roundDown) {
  const TFraction centre = Plus(offset, Make(side - 1, 2));
  const TFraction first = Minus(centre, Half(PlusWhole(size, -1)));
  const std::optional<std::int64_t> from = roundDown ? RoundedDown(first) : Rounded(first);
  if (!from) return std::nullopt;
  const std::optional<std::int64_t> to = Rounded(PlusWhole(PlusWhole(size, -1), *from));
  if (!to) return std::nullopt;
  return std::pair{std::max<std::int64_t>(*from, 0), std::min(*to, side - 1)};
}

Image Cropped(const Image& image, std::int32_t left, std::int32_t top, std::int32_t width,
              std::int32_t height) {
  Image cropped;
  cropped.ResetForOverwrite(width, height);
  for (std::int32_t y = 0; y < height; ++y)
    std::memcpy(cropped.Row(y), image.Row(top + y) + 3 * static_cast<std::size_t>(left),
                cropped.Stride());
  return cropped;
}

Image CleanAperture(const Image& image, const THeifTransform& crop, const std::string& name) {
  const auto columns = ApertureSpan(crop.Width, crop.HorizontalOffset, image.Width(), true);
  const auto rows = ApertureSpan(crop.Height, crop.VerticalOffset, image.Height(), false);
  if (!columns || !rows || columns->first > columns->second || rows->first > rows->second)
    throw TavrenError(name, "not a readable HEIF picture (its crop lies outside the picture)");
  return Cropped(image, static_cast<std::int32_t>(columns->first),
                 static_cast<std::int32_t>(rows->first),
                 static_cast<std::int32_t>(columns->second - columns->first + 1),
                 static_cast<std::int32_t>(rows->second - rows->first + 1));
}

// The EXIF orientation that shows the picture as a turn or a mirror does.
int OrientationOf(const THeifTransform& transform) {
  if (transform.Kind == THeifTransform::TKind::Mirror) return transform.LeftRight ? 2 : 4;
  switch (transform.CounterClockwise) {
    case 90:
      return 8;
    case 180:
      return 3;
    case 270:
      return 6;
    default:
      return 1;
  }
}

}  // namespace

Image ApplyHeifTransforms(Image image, const std::vector<THeifTransform>& transforms,
                          const std::string& name) {
  for (const THeifTransform& transform : transforms) {
    if (transform.Kind == THeifTransform::TKind::Crop)
      image = CleanAperture(image, transform, name);
    else
      ApplyOrientation(image, OrientationOf(transform));
  }
  return image;
}

}  // namespace tavren
