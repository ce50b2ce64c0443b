// The colour-proportion restoration: every pixel gets back the colour
// proportions of its original while keeping its new brightness (channel
// sum).  A row goes a pixel at a time or, on processors with AVX2, eight
// pixels at a time with the same bytes.
#pragma once

#include <cstdint>

#include "imaging/image.h"

namespace tavren {

// Pixel bytes are blue, green, red; the per-channel tables run red, green,
// blue.
inline constexpr int kByteOfChannel[3] = {2, 1, 0};

// One pixel's new values (red, green, blue) from its remapped values vc and
// original values oc: in extended precision, and the same in whole numbers
// where that provably gives the same result (falling back otherwise).
void RestorePixelRatiosExtended(const int vc[3], const int oc[3], int out[3]);
void RestorePixelRatios(const int vc[3], const int oc[3], int out[3]);
// q / sum rounded down, for 0 <= q < 2^18 and a sum of channel values 1..765
// (or any other divisor in that range).
int DivideBySum(int q, int sum);

// Gives each of the row's `width` pixels v the colour proportions of its
// original o (both blue, green, red).
void RestoreRowOneByOne(std::uint8_t* v, const std::uint8_t* o, std::int32_t width);

// The same, eight pixels at a time where the processor allows; false (and
// nothing done) where it does not.
bool RestoreRowInEights(std::uint8_t* v, const std::uint8_t* o, std::int32_t width);
// The same sixteen pixels at a time, where the processor has AVX-512.
bool RestoreRowInSixteens(std::uint8_t* v, const std::uint8_t* o, std::int32_t width);

// The widest of RestoreRowInSixteens and RestoreRowInEights that runs,
// where allowed (WideKernelsAllowed), otherwise RestoreRowOneByOne.
void RestoreRow(std::uint8_t* v, const std::uint8_t* o, std::int32_t width);

// RestoreRow for rows rowBegin..rowEnd - 1, and for the whole picture over
// the band pool.
void RestoreColorRatioRows(Image& image, const Image& orig, std::int32_t rowBegin,
                           std::int32_t rowEnd);
void RestoreColorRatios(Image& image, const Image& orig);

}  // namespace tavren
