// JPEG decoding into the working image, through libjpeg with the program's
// decoder settings: fast integer inverse transform, block smoothing on,
// full-size output.  Grayscale, CMYK and YCCK pictures come out as colour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/image.h"

namespace tavren {

// A picture whose decoding raises more warnings than this is refused: each
// warning marks corrupt data, and a flood of them is how a hostile file
// makes the decoder spin.
inline constexpr int kMaxJpegWarnings = 100;
// A picture with more scans than this is refused: every scan of a
// progressive picture costs a pass over all of its coefficients, so a small
// file with endless tiny scans would otherwise take hours.
inline constexpr int kMaxJpegScans = 1000;

// Decodes the JPEG held in data[0, size).  name identifies the picture in
// errors.  Throws TavrenError for a picture that is truncated, corrupt,
// unsupported, too large or beyond the limits above.
Image DecodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name);

}  // namespace tavren
