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

// The part of a picture of the given size that a clean aperture keeps.
struct TWindow {
  std::int32_t Left = 0, Top = 0, Width = 0, Height = 0;
};

TWindow ApertureWindow(std::int32_t width, std::int32_t height, const THeifTransform& crop,
                       const std::string& name) {
  const auto columns = ApertureSpan(crop.Width, crop.HorizontalOffset, width, true);
  const auto rows = ApertureSpan(crop.Height, crop.VerticalOffset, height, false);
  if (!columns || !rows || columns->first > columns->second || rows->first > rows->second)
    throw TavrenError(name, "not a readable HEIF picture (its crop lies outside the picture)");
  return {static_cast<std::int32_t>(columns->first), static_cast<std::int32_t>(rows->first),
          static_cast<std::int32_t>(columns->second - columns->first + 1),
          static_cast<std::int32_t>(rows->second - rows->first + 1)};
}

Image CleanAperture(const Image& image, const THeifTransform& crop, const std::string& name) {
  const TWindow window = ApertureWindow(image.Width(), image.Height(), crop, name);
  return Cropped(image, window.Left, window.Top, window.Width, window.Height);
}

// The samples of a grid at column x, row y.
std::uint16_t* At(TSampleGrid& grid, std::int32_t x, std::int32_t y) {
  return grid.Samples.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(grid.Width) +
                                static_cast<std::size_t>(x)) *
                                   static_cast<std::size_t>(grid.Channels);
}

// An empty grid of the given size, with the channels of another.
TSampleGrid GridLike(const TSampleGrid& grid, std::int32_t width, std::int32_t height) {
  TSampleGrid made;
  made.Width = width;
  made.Height = height;
  made.Channels = grid.Channels;
  made.Samples.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                      static_cast<std::size_t>(grid.Channels));
  return made;
}

// The grid with each pixel taken from where from(x, y) says, in the source.
template <typename From>
TSampleGrid Remapped(TSampleGrid& grid, std::int32_t width, std::int32_t height, From from) {
  TSampleGrid made = GridLike(grid, width, height);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      const auto [sx, sy] = from(x, y);
      std::copy_n(At(grid, sx, sy), grid.Channels, At(made, x, y));
    }
  return made;
}

// A turn or a mirror as libheif makes it: a quarter turn counter-clockwise
// takes the output's row y from the input's column w - 1 - y.
TSampleGrid TurnedOrMirrored(TSampleGrid& grid, const THeifTransform& transform) {
  const std::int32_t w = grid.Width, h = grid.Height;
  using TPlace = std::pair<std::int32_t, std::int32_t>;
  if (transform.Kind == THeifTransform::TKind::Mirror) {
    if (transform.LeftRight)
      return Remapped(grid, w, h, [&](std::int32_t x, std::int32_t y) {
        return TPlace{w - 1 - x, y};
      });
    return Remapped(grid, w, h, [&](std::int32_t x, std::int32_t y) {
      return TPlace{x, h - 1 - y};
    });
  }
  switch (transform.CounterClockwise) {
    case 90:
      return Remapped(grid, h, w, [&](std::int32_t x, std::int32_t y) {
        return TPlace{w - 1 - y, x};
      });
    case 180:
      return Remapped(grid, w, h, [&](std::int32_t x, std::int32_t y) {
        return TPlace{w - 1 - x, h - 1 - y};
      });
    case 270:
      return Remapped(grid, h, w, [&](std::int32_t x, std::int32_t y) {
        return TPlace{y, h - 1 - x};
      });
    default:
      return std::move(grid);
  }
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

TSampleGrid ApplyHeifTransforms(TSampleGrid grid, const std::vector<THeifTransform>& transforms,
                                const std::string& name) {
  for (const THeifTransform& transform : transforms) {
    if (transform.Kind != THeifTransform::TKind::Crop) {
      grid = TurnedOrMirrored(grid, transform);
      continue;
    }
    const TWindow window = ApertureWindow(grid.Width, grid.Height, transform, name);
    grid = Remapped(grid, window.Width, window.Height, [&](std::int32_t x, std::int32_t y) {
      return std::pair{window.Left + x, window.Top + y};
    });
  }
  return grid;
}

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
