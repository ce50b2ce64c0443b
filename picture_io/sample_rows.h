// How the samples that picture files store become the working image's
// 8-bit blue, green, red.  Every decoder whose library hands over samples
// (PNG, TIFF, WebP, HEIF) converts through these, so that the same samples
// give the same bytes whatever file they came from:
//   - 8-bit samples are taken as stored; others of up to 16 bits go to the
//     nearest 8-bit level of the same fraction of their range; deeper and
//     floating-point ones first to the nearest 16-bit sample, then on as
//     16-bit ones;
//   - grey becomes three equal channels;
//   - alpha lays the colour over white;
//   - CMYK becomes red, green and blue as in a CMYK JPEG (then, with alpha,
//     that colour is laid over white).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavren {

// The 8-bit level nearest to sample v of the range 0..max, where max is
// 2^bits - 1: round(255 v / max).  max is odd, so no value lies halfway
// between two levels.  For 16-bit samples this is round(v / 257).  A value
// above max (damaged data) counts as max.
inline std::uint8_t NearestLevel(std::uint32_t v, std::uint32_t max) {
  if (v > max) v = max;
  return static_cast<std::uint8_t>((510ull * v + max) / (2ull * max));
}

// Colour c with a straight (not premultiplied) alpha a, both 0..max, laid
// over white and brought to the nearest 8-bit level in one rounding:
// round(255 (c a + max (max - a)) / max^2).  max^2 is odd: no ties.
inline std::uint8_t OverWhite(std::uint32_t c, std::uint32_t a, std::uint32_t max) {
  if (c > max) c = max;
  if (a > max) a = max;
  const std::uint64_t m = max;
  const std::uint64_t mixed = std::uint64_t{c} * a + m * (m - a);
  return static_cast<std::uint8_t>((510 * mixed + m * m) / (2 * m * m));
}

// One CMYK pixel as blue, green, red: red = (1 - C)(1 - K) and so on,
// rounded.  inverted: the inks are stored inverted (0 = full ink), as
// Adobe's JPEG writers store them; TIFF stores them plainly.
inline void CmykToBgr(const std::uint8_t* cmyk, bool inverted, std::uint8_t* bgr) {
  unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
  if (!inverted) {
    c = 255 - c;
    m = 255 - m;
    y = 255 - y;
    k = 255 - k;
  }
  bgr[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
  bgr[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
  bgr[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
}

// What the samples of one pixel mean.
struct TSampleRule {
  int Colours = 3;             // 1 grey, 3 red green blue, 4 plain CMYK inks
  int SamplesPerPixel = 3;     // the colours, then alpha or other samples
  int Alpha = -1;              // index of the alpha sample; -1 when none
  bool Premultiplied = false;  // the colours are already multiplied by alpha
  std::uint32_t Max = 255;     // the largest sample value, 2^bits - 1
};

// count samples of a packed row, bitsPerSample 1 to 16, 24 or 32, as
// numbers.  Samples that do not fill whole bytes are a stream of bits, each
// sample's highest bit first; 16-, 24- and 32-bit samples are big- or
// little-endian.  Samples deeper than 16 bits come out as 16-bit samples
// (Sixteen below), so that they follow the 16-bit rule from there on.
void UnpackSamples(const std::uint8_t* row, int bitsPerSample, bool bigEndian, std::size_t count,
                   std::uint16_t* out);

// count 32-bit floating-point samples (linear, 0 to 1) as 16-bit samples:
// clipped to 0..1 (not-a-number counts as 0), then round(65535 f).
void UnpackFloatSamples(const std::uint8_t* row, bool bigEndian, std::size_t count,
                        std::uint16_t* out);

// The 16-bit sample nearest to sample v of the range 0..max (max = 2^bits
// - 1, bits up to 32): round(65535 v / max).  max is odd: no ties.
inline std::uint16_t Sixteen(std::uint32_t v, std::uint32_t max) {
  if (v > max) v = max;
  return static_cast<std::uint16_t>((131070ull * v + max) / (2ull * max));
}

// width pixels of samples (rule.SamplesPerPixel each) as blue, green, red.
void SamplesToBgr(const std::uint16_t* samples, std::int32_t width, const TSampleRule& rule,
                  std::uint8_t* bgr);

}  // namespace tavren
