#include "picture_io/sample_rows.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace tavren {

namespace {

void UnpackNarrow(const std::uint8_t* row, int bits, std::size_t count, std::uint16_t* out) {
  const unsigned mask = (1u << bits) - 1;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t bit = i * static_cast<std::size_t>(bits);
    const unsigned shift = 8 - static_cast<unsigned>(bits) - static_cast<unsigned>(bit % 8);
    out[i] = static_cast<std::uint16_t>((row[bit / 8] >> shift) & mask);
  }
}

// Samples wider than a byte or crossing bytes (10, 12, 14 bits...): a
// stream of bits, highest first.  At most 23 bits wait in hand.
void UnpackBitStream(const std::uint8_t* row, int bits, std::size_t count, std::uint16_t* out) {
  const std::uint32_t mask = (1u << bits) - 1;
  std::uint32_t held = 0;
  int heldBits = 0;
  for (std::size_t i = 0; i < count; ++i) {
    while (heldBits < bits) {
      held = held << 8 | *row++;
      heldBits += 8;
    }
    heldBits -= bits;
    out[i] = static_cast<std::uint16_t>(held >> heldBits & mask);
    held &= (1u << heldBits) - 1;
  }
}

// 24- and 32-bit samples as 16-bit ones.
void UnpackDeep(const std::uint8_t* row, int bits, bool bigEndian, std::size_t count,
                std::uint16_t* out) {
  const int bytes = bits / 8;
  const std::uint32_t max = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  for (std::size_t i = 0; i < count; ++i, row += bytes) {
    std::uint32_t v = 0;
    for (int b = 0; b < bytes; ++b) v = v << 8 | row[bigEndian ? b : bytes - 1 - b];
    out[i] = Sixteen(v, max);
  }
}

void Unpack16(const std::uint8_t* row, bool bigEndian, std::size_t count, std::uint16_t* out) {
  const int high = bigEndian ? 0 : 1;
  for (std::size_t i = 0; i < count; ++i, row += 2)
    out[i] = static_cast<std::uint16_t>(row[high] << 8 | row[1 - high]);
}

// A colour sample (straight or premultiplied) of a pixel with alpha, over
// white, as an 8-bit level.
std::uint8_t Composited(std::uint32_t c, std::uint32_t a, const TSampleRule& rule) {
  if (!rule.Premultiplied) return OverWhite(c, a, rule.Max);
  // Premultiplied: the colour already carries its share; white adds the
  // rest.  A colour larger than its alpha is damaged data, held at white.
  return NearestLevel(std::min(c + (rule.Max - a), rule.Max), rule.Max);
}

// Inks that carry their alpha already (premultiplied) as plain inks.
std::uint8_t Unpremultiplied(std::uint8_t ink, std::uint8_t alpha) {
  if (alpha == 0) return 0;
  return static_cast<std::uint8_t>(std::min<unsigned>(255, (510u * ink + alpha) / (2u * alpha)));
}

// CMYK becomes red, green and blue; with alpha, that colour is laid over
// white as every other colour is.
void CmykPixel(const std::uint16_t* s, const TSampleRule& rule, std::uint8_t* bgr) {
  std::uint8_t inks[4] = {NearestLevel(s[0], rule.Max), NearestLevel(s[1], rule.Max),
                          NearestLevel(s[2], rule.Max), NearestLevel(s[3], rule.Max)};
  const std::uint8_t alpha = rule.Alpha >= 0 ? NearestLevel(s[rule.Alpha], rule.Max) : 255;
  if (rule.Premultiplied)
    for (std::uint8_t& ink : inks) ink = Unpremultiplied(ink, alpha);
  CmykToBgr(inks, false, bgr);
  if (rule.Alpha >= 0)
    for (int c = 0; c < 3; ++c) bgr[c] = OverWhite(bgr[c], alpha, 255);
}

}  // namespace

void UnpackSamples(const std::uint8_t* row, int bitsPerSample, bool bigEndian, std::size_t count,
                   std::uint16_t* out) {
  if (bitsPerSample == 16)
    Unpack16(row, bigEndian, count, out);
  else if (bitsPerSample == 8)
    std::copy(row, row + count, out);
  else if (bitsPerSample == 24 || bitsPerSample == 32)
    UnpackDeep(row, bitsPerSample, bigEndian, count, out);
  else if (8 % bitsPerSample == 0)
    UnpackNarrow(row, bitsPerSample, count, out);
  else
    UnpackBitStream(row, bitsPerSample, count, out);
}

void UnpackFloatSamples(const std::uint8_t* row, bool bigEndian, std::size_t count,
                        std::uint16_t* out) {
  const bool swap = bigEndian != (std::endian::native == std::endian::big);
  for (std::size_t i = 0; i < count; ++i, row += 4) {
    std::uint8_t bytes[4] = {row[0], row[1], row[2], row[3]};
    if (swap) std::reverse(bytes, bytes + 4);
    float f = 0;
    std::memcpy(&f, bytes, sizeof f);
    // Exact in double: a float's 24 bits times 16 bits.
    const double level = f > 0 ? (f < 1 ? static_cast<double>(f) * 65535 : 65535) : 0;
    out[i] = static_cast<std::uint16_t>(std::floor(level + 0.5));
  }
}

void SamplesToBgr(const std::uint16_t* samples, std::int32_t width, const TSampleRule& rule,
                  std::uint8_t* bgr) {
  const int step = rule.SamplesPerPixel;
  for (std::int32_t x = 0; x < width; ++x, samples += step, bgr += 3) {
    if (rule.Colours == 4) {
      CmykPixel(samples, rule, bgr);
      continue;
    }
    const std::uint16_t* red = samples;
    const std::uint16_t* green = rule.Colours == 3 ? samples + 1 : samples;
    const std::uint16_t* blue = rule.Colours == 3 ? samples + 2 : samples;
    if (rule.Alpha >= 0) {
      const std::uint32_t a = samples[rule.Alpha];
      bgr[0] = Composited(*blue, a, rule);
      bgr[1] = Composited(*green, a, rule);
      bgr[2] = Composited(*red, a, rule);
    } else {
      bgr[0] = NearestLevel(*blue, rule.Max);
      bgr[1] = NearestLevel(*green, rule.Max);
      bgr[2] = NearestLevel(*red, rule.Max);
    }
  }
}

}  // namespace tavren
