#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "picture_io/jpeg_decoder.h"
#include "picture_io/picture_files.h"
#include "intake_test_helpers.h"

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
    int x, y, blue, green, red;
  };
  for (const Probe& probe : {Probe{8, 8, 0, 0, 255}, Probe{24, 8, 0, 255, 0},
                             Probe{8, 24, 255, 0, 0}, Probe{24, 24, 255, 255, 255}}) {
    const std::uint8_t* p = image.Row(probe.y) + 3 * probe.x;
    EXPECT_NEAR(p[0], probe.blue, 3) << probe.x << "," << probe.y;
    EXPECT_NEAR(p[1], probe.green, 3) << probe.x << "," << probe.y;
    EXPECT_NEAR(p[2], probe.red, 3) << probe.x << "," << probe.y;
  }
}

TEST(JpegIntake, FileAndMemoryGiveTheSamePicture) {
  const Bytes bytes = DataFile("jpeg_colour.jpg");
  EXPECT_TRUE(DecodeBytes(bytes) == DecodeJpegFile(TestDataPath("jpeg_colour.jpg")));
}

TEST(JpegIntake, RefusesTruncatedFilesNamingThem) {
  const Bytes whole = DataFile("jpeg_colour.jpg");
  for (std::size_t keep : {std::size_t{0}, std::size_t{2}, std::size_t{20}, whole.size() / 2,
                           whole.size() - 40}) {
    SCOPED_TRACE(keep);
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep));
    const std::string message = RefusalOf([&] { DecodeBytes(cut, "cut.jpg"); });
    EXPECT_EQ(message.rfind("cut.jpg: ", 0), 0u) << message;
    if (keep > 0) {
      EXPECT_NE(message.find("truncated"), std::string::npos) << message;
    }
  }
  const Bytes progressive = DataFile("jpeg_colour_progressive.jpg");
  const Bytes cut(progressive.begin(), progressive.begin() + progressive.size() * 3 / 4);
  EXPECT_NE(RefusalOf([&] { DecodeBytes(cut); }).find("truncated"), std::string::npos);
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
  std::size_t sof = FindMarker(bytes, 0xC0);
  if (sof == bytes.size()) sof = FindMarker(bytes, 0xC2);
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
  EXPECT_NE(RefusalOf([&] { DecodeBytes(notJpeg); }).find("Not a JPEG file"), std::string::npos);
  EXPECT_FALSE(RefusalOf([&] { DecodeBytes(WithFrameSize(good, 0, 46)); }).empty());
  Bytes noTables = good;
  const std::size_t dqt = FindMarker(noTables, 0xDB);
  noTables[dqt + 1] = 0xFE;  // the quantisation table becomes a comment
  EXPECT_FALSE(RefusalOf([&] { DecodeBytes(noTables); }).empty());
}

TEST(JpegIntake, RefusesPicturesTooLargeForThePixelCounts) {
  const Bytes good = DataFile("jpeg_colour.jpg");
  // 65000 x 65000 x 3 does not fit a signed 32-bit count.
  EXPECT_NE(RefusalOf([&] { DecodeBytes(WithFrameSize(good, 65000, 65000)); }).find("too large"),
            std::string::npos);
  // 20000 x 20000 fits the count, but a 2 KB file cannot hold its blocks.
  EXPECT_NE(RefusalOf([&] { DecodeBytes(WithFrameSize(good, 20000, 20000)); }).find("truncated"),
            std::string::npos);
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
  EXPECT_NE(RefusalOf([&] { DecodeBytes(WithWarnings(kMaxJpegWarnings + 1)); })
                .find("more than 100 warnings"),
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
    SCOPED_TRACE(photo.string());
    ASSERT_TRUE(sizes.count(photo.string()));
    const Image image = DecodeJpegFile((test::CorpusDir() / photo).string());
    EXPECT_EQ(image.Width(), sizes[photo.string()].first);
    EXPECT_EQ(image.Height(), sizes[photo.string()].second);
  }
}

}  // namespace
}  // namespace tavren
