// Looks at JPEG files independently of the program's own decoder: decoding
// with the library, the markers and tables in the file, and what the
// command-line EXIF tool reads from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/image.h"

namespace tavren::test {

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The picture decoded by the library at 1/scaleDenom of its size (1, 2, 4,
// 8), or an empty image when the library refuses the file.
Image DecodeWithLibrary(const std::string& path, int scaleDenom = 1);

// image encoded by the library with its defaults (quality 75), grey or
// colour, Huffman or arithmetic coding, baseline or progressive (grey:
// two scans, the second for all AC coefficients, which may be repeated).
struct EncodeOptions {
  bool Grey = false;
  bool Arithmetic = false;
  bool Progressive = false;
};
std::vector<std::uint8_t> EncodeWithLibrary(const Image& image, const EncodeOptions& options);

// Quantised coefficients of a colour picture: three components of
// WidthInBlocks x HeightInBlocks blocks each (no colour reduction), every
// block 64 coefficients in natural order, rows of blocks one after the other.
struct CoefficientPicture {
  int WidthInBlocks = 0;
  int HeightInBlocks = 0;
  std::vector<std::int16_t> Components[3];
};
// The library's progressive file of those coefficients, with its standard
// scans and optimal tables (quality 100, YCbCr).
std::vector<std::uint8_t> WriteCoefficientsWithLibrary(const CoefficientPicture& picture);

struct JpegLayout {
  bool WellFormed = false;        // markers up to the first scan parse cleanly
  bool ProgressiveFrame = false;  // the frame header is SOF2
  bool AllQuantizersOne = false;  // every quantisation table holds only 1s
  int QuantTables = 0;
};
JpegLayout InspectLayout(const std::vector<std::uint8_t>& file);

// Make, Model and Software as the EXIF tool prints them ("-" for a missing
// tag), one entry per file in order.
struct ToolTexts {
  std::string Make, Model, Software;
};
bool HaveExifTool();
std::vector<ToolTexts> ExifToolRead(const std::vector<std::string>& files);

// The given tags' values as the EXIF tool prints them as numbers (-n;
// "-" for a missing tag), one row per file in order.
std::vector<std::vector<std::string>> ExifToolTable(const std::vector<std::string>& files,
                                                    const std::vector<std::string>& tags);
// The ICC profile the EXIF tool finds in each file (empty when none).
std::vector<std::vector<std::uint8_t>> ExifToolIccProfiles(const std::vector<std::string>& files);

}  // namespace tavren::test
