#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "intake_test_helpers.h"
#include "picture_io/jpeg_decoder.h"
#include "picture_io/picture_files.h"
#include "picture_io/picture_limits.h"
#include "support/jpeg_test_support.h"

namespace tavren {
namespace {

using test::DataFile;
using test::RefusalOf;
using test::TestDataPath;

using Bytes = std::vector<std::uint8_t>;

Image DecodeBytes(const Bytes& bytes, const std::string& name = "sample.jpg") {
  return DecodeJpegMemory(bytes.data(), bytes.size(), name);
}

// The reference pictures were written by libjpeg's own djpeg with the fast
// integer transform, as 24-bit (colour) or 8-bit palette (grey) bitmaps.
TEST(JpegIntake, DecodesLikeTheLibraryToolWithTheFastTransform) {
  for (const std::string base : {"jpeg_colour", "jpeg_colour_progressive", "jpeg_gray"}) {
    SCOPED_TRACE(base);
    const Image decoded = DecodeJpegFile(TestDataPath(base + ".jpg"));
    EXPECT_EQ(decoded.Width(), 70);
    EXPECT_EQ(decoded.Height(), 46);
    EXPECT_TRUE(decoded == DecodeBmpFile(TestDataPath(base + ".ref.bmp")));
  }
}

TEST(JpegIntake, GreyComesOutAsEqualChannels) {
  const Image grey = DecodeJpegFile(TestDataPath("jpeg_gray.jpg"));
  for (std::int32_t y = 0; y < grey.Height(); ++y)
    for (std::int32_t x = 0; x < grey.Width(); ++x) {
      const std::uint8_t* p = grey.Row(y) + 3 * x;
      ASSERT_EQ(p[0], p[1]);
      ASSERT_EQ(p[1], p[2]);
    }
}

// Quadrants red, green / blue, white stored as Adobe YCCK (inverted inks).
TEST(JpegIntake, CmykComesOutAsColour) {
  const Image image = DecodeJpegFile(TestDataPath("jpeg_cmyk.jpg"));
  ASSERT_EQ(image.Width(), 32);
  ASSERT_EQ(image.Height(), 32);
  struct Probe {
    int X, Y, Blue, Green, Red;
  };
  for (const Probe& probe : {Probe{8, 8, 0, 0, 255}, Probe{24, 8, 0, 255, 0},
                             Probe{8, 24, 255, 0, 0}, Probe{24, 24, 255, 255, 255}}) {
    const std::uint8_t* p = image.Row(probe.Y) + 3 * probe.X;
    EXPECT_NEAR(p[0], probe.Blue, 3) << probe.X << "," << probe.Y;
    EXPECT_NEAR(p[1], probe.Green, 3) << probe.X << "," << probe.Y;
    EXPECT_NEAR(p[2], probe.Red, 3) << probe.X << "," << probe.Y;
  }
}

TEST(JpegIntake, FileAndMemoryGiveTheSamePicture) {
  const Bytes bytes = DataFile("jpeg_colour.jpg");
  EXPECT_TRUE(DecodeBytes(bytes) == DecodeJpegFile(TestDataPath("jpeg_colour.jpg")));
}

TEST(JpegIntake, RefusesTruncatedFilesNamingThem) {
  const Bytes whole = DataFile("jpeg_colour.jpg");
  for (std::size_t keep :
       {std::size_t{0}, std::size_t{2}, std::size_t{20}, whole.size() / 2, whole.size() - 40}) {
    SCOPED_TRACE(keep);
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep));
    const std::string message = RefusalOf([&] { DecodeBytes(cut, "cut.jpg"); });
    EXPECT_EQ(message.rfind("cut.jpg: ", 0), 0u) << message;
    if (keep > 0) {
      EXPECT_NE(message.find("the file ends before the picture does"), std::string::npos)
          << message;
    }
  }
  const Bytes progressive = DataFile("jpeg_colour_progressive.jpg");
  const Bytes cut(progressive.begin(), progressive.begin() + progressive.size() * 3 / 4);
  EXPECT_NE(RefusalOf([&] { DecodeBytes(cut); }).find("ends before the picture does"),
            std::string::npos);
}

TEST(JpegIntake, AFileThatLacksOnlyItsEndMarkerIsComplete) {
  Bytes bytes = DataFile("jpeg_colour.jpg");
  bytes.resize(bytes.size() - 2);
  EXPECT_TRUE(DecodeBytes(bytes) == DecodeJpegFile(TestDataPath("jpeg_colour.jpg")));
}

std::size_t FindMarker(const Bytes& bytes, std::uint8_t marker) {
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == marker) return i;
  return bytes.size();
}

// Sets the frame header's height and width (big-endian, after the marker,
// length and precision).
Bytes WithFrameSize(Bytes bytes, std::uint16_t width, std::uint16_t height) {
  std::size_t sof = bytes.size();
  for (std::uint8_t frame : {0xC0, 0xC1, 0xC2, 0xC9, 0xCA})
    sof = std::min(sof, FindMarker(bytes, frame));
  EXPECT_LT(sof + 8, bytes.size());
  if (sof + 8 >= bytes.size()) return bytes;
  bytes[sof + 5] = static_cast<std::uint8_t>(height >> 8);
  bytes[sof + 6] = static_cast<std::uint8_t>(height);
  bytes[sof + 7] = static_cast<std::uint8_t>(width >> 8);
  bytes[sof + 8] = static_cast<std::uint8_t>(width);
  return bytes;
}

TEST(JpegIntake, RefusesCorruptHeaders) {
  const Bytes good = DataFile("jpeg_colour.jpg");
  Bytes notJpeg = good;
  notJpeg[0] = 'B';
  EXPECT_NE(RefusalOf([&] { DecodeBytes(notJpeg); }).find("not a JPEG picture"), std::string::npos);
  EXPECT_FALSE(RefusalOf([&] { DecodeBytes(WithFrameSize(good, 0, 46)); }).empty());
  Bytes noTables = good;
  const std::size_t dqt = FindMarker(noTables, 0xDB);
  noTables[dqt + 1] = 0xFE;  // the quantisation table becomes a comment
  EXPECT_FALSE(RefusalOf([&] { DecodeBytes(noTables); }).empty());
}

Bytes CutAfterFirstScanHeader(Bytes bytes) {
  const std::size_t sos = FindMarker(bytes, 0xDA);
  bytes.resize(sos + 2 + (bytes[sos + 2] << 8 | bytes[sos + 3]) + 8);
  bytes.push_back(0xFF);
  bytes.push_back(0xD9);
  return bytes;
}

// A few bytes declaring a huge picture are refused before its memory is
// asked for: above the limit by their size, within it by data too short for
// the picture's blocks, whatever the coding.
TEST(JpegIntake, RefusesBombsBeforeAskingForTheirMemory) {
  const Image small = test::RandomImage(64, 64, 5);
  for (const test::EncodeOptions options :
       {test::EncodeOptions{false, false, false}, test::EncodeOptions{false, false, true},
        test::EncodeOptions{false, true, false}, test::EncodeOptions{false, true, true}}) {
    SCOPED_TRACE(std::to_string(options.Arithmetic) + std::to_string(options.Progressive));
    const Bytes good = test::EncodeWithLibrary(small, options);
    ASSERT_EQ(DecodeBytes(good).Width(), 64);
    const std::string huge =
        RefusalOf([&] { DecodeBytes(CutAfterFirstScanHeader(WithFrameSize(good, 26754, 26754))); });
    EXPECT_NE(huge.find("26754 x 26754 pixels (715.8 megapixels) is above the limit of 200 "
                        "megapixels"),
              std::string::npos)
        << huge;
    EXPECT_NE(RefusalOf([&] {
                DecodeBytes(CutAfterFirstScanHeader(WithFrameSize(good, 14000, 14000)));
              }).find("too short for 14000 x 14000 pixels"),
              std::string::npos);
  }
}

TEST(JpegIntake, TheLimitCanBeRaisedAndLowered) {
  const Bytes good = DataFile("jpeg_colour.jpg");  // 70 x 46
  SetMaxPicturePixels(3000);
  EXPECT_NE(RefusalOf([&] { DecodeBytes(good); }).find("above the limit"), std::string::npos);
  SetMaxPicturePixels(kLargestPicturePixels);
  EXPECT_NE(RefusalOf([&] { DecodeBytes(WithFrameSize(good, 20000, 20000)); }).find("too short"),
            std::string::npos);
  SetMaxPicturePixels(kDefaultMaxPicturePixels);
  EXPECT_EQ(DecodeBytes(good).Width(), 70);
}

// Scans that each pass over every block of a large picture: tolerated as
// many times as real files do, refused long before they take minutes.
TEST(JpegIntake, ProgressiveWorkLimit) {
  Image grey(2048, 1024);  // 32768 blocks
  const Bytes base = test::EncodeWithLibrary(grey, {true, false, true});
  std::size_t last = 0;
  for (std::size_t i = 0; i + 1 < base.size(); ++i)
    if (base[i] == 0xFF && base[i + 1] == 0xDA) last = i;
  const Bytes scan(base.begin() + static_cast<std::ptrdiff_t>(last), base.end() - 2);
  auto withScans = [&](int scans) {
    Bytes out(base.begin(), base.end() - 2);
    for (int i = 2; i < scans; ++i) out.insert(out.end(), scan.begin(), scan.end());
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
  };
  EXPECT_EQ(DecodeBytes(withScans(40)).Width(), 2048);
  const std::string refusal = RefusalOf([&] { DecodeBytes(withScans(200)); });
  EXPECT_NE(refusal.find("repeat the picture more than 32 times"), std::string::npos) << refusal;
}

// An 8 x 8 progressive grey picture whose last scan (all AC coefficients,
// first pass) may legally be repeated: each copy adds a scan and no warning.
Bytes WithScans(int scans) {
  const Bytes base = DataFile("jpeg_progressive_8x8.jpg");
  std::size_t last = 0;
  for (std::size_t i = 0; i + 1 < base.size(); ++i)
    if (base[i] == 0xFF && base[i + 1] == 0xDA) last = i;
  const Bytes scan(base.begin() + static_cast<std::ptrdiff_t>(last), base.end() - 2);
  Bytes out(base.begin(), base.end() - 2);
  for (int i = 2; i < scans; ++i) out.insert(out.end(), scan.begin(), scan.end());
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

TEST(JpegIntake, ScanLimit) {
  EXPECT_EQ(DecodeBytes(WithScans(kMaxJpegScans)).Width(), 8);
  EXPECT_NE(RefusalOf([&] { DecodeBytes(WithScans(kMaxJpegScans + 1)); }).find("1000 scans"),
            std::string::npos);
}

// Each stray byte before a marker raises one "extraneous bytes" warning.
Bytes WithWarnings(int warnings) {
  const Bytes base = DataFile("jpeg_colour.jpg");
  Bytes out(base.begin(), base.begin() + 2);
  for (int i = 0; i < warnings; ++i) {
    const std::uint8_t strayThenComment[] = {0x00, 0xFF, 0xFE, 0x00, 0x03, 'x'};
    out.insert(out.end(), std::begin(strayThenComment), std::end(strayThenComment));
  }
  out.insert(out.end(), base.begin() + 2, base.end());
  return out;
}

TEST(JpegIntake, WarningLimit) {
  const Image clean = DecodeBytes(DataFile("jpeg_colour.jpg"));
  EXPECT_TRUE(DecodeBytes(WithWarnings(kMaxJpegWarnings)) == clean);
  EXPECT_NE(RefusalOf([&] {
              DecodeBytes(WithWarnings(kMaxJpegWarnings + 1));
            }).find("more than 100 warnings"),
            std::string::npos);
}

TEST(JpegIntake, MissingFileIsNamed) {
  const std::string message = RefusalOf([] { DecodeJpegFile("/nonexistent/photo.jpg"); });
  EXPECT_EQ(message.rfind("/nonexistent/photo.jpg: ", 0), 0u) << message;
}

// Every photo of the shared corpus decodes at its stored size.
TEST(JpegIntake, CorpusPhotosDecodeAtTheirStoredSize) {
  TAVREN_REQUIRE_CORPUS();
  std::ifstream manifest(test::CorpusDir() / "MANIFEST.tsv");
  std::map<std::string, std::pair<int, int>> sizes;
  std::string line;
  std::getline(manifest, line);  // column names
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string file, width, height;
    std::getline(fields, file, '\t');
    std::getline(fields, width, '\t');
    std::getline(fields, height, '\t');
    sizes[file] = {std::stoi(width), std::stoi(height)};
  }
  const auto photos = test::CorpusPhotos();
  ASSERT_FALSE(photos.empty());
  for (const auto& photo : photos) {
    SCOPED_TRACE(photo.generic_string());
    ASSERT_TRUE(sizes.count(photo.generic_string()));
    const Image image = DecodeJpegFile((test::CorpusDir() / photo).string());
    EXPECT_EQ(image.Width(), sizes[photo.generic_string()].first);
    EXPECT_EQ(image.Height(), sizes[photo.generic_string()].second);
  }
}

}  // namespace
}  // namespace tavren
