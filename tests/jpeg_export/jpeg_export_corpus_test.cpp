// Every photo of the corpus saved through the export: the EXIF tool reads
// the make and model our reader finds in the source and the source's colour
// profile byte for byte, the library decodes the file, the inserted
// segments stand where they belong, the frame is progressive and the tables
// are those of quality 100.
#include <filesystem>

#include <gtest/gtest.h>

#include "imaging/thread_pool.h"
#include "jpeg_export/jpeg_encoder.h"
#include "jpeg_export/jpeg_export.h"
#include "picture_io/exif_reader.h"
#include "support/jpeg_test_support.h"
#include "support/test_support.h"

namespace tavren {
namespace {

namespace fs = std::filesystem;

// Big photos are decoded reduced: the point here is the file, not the size.
Image DecodeSmall(const fs::path& photo) {
  return test::DecodeWithLibrary(photo.string(), fs::file_size(photo) > 300'000 ? 8 : 1);
}

TExif ReadExif(const std::string& file) {
  TExif exif;
  exif.ReadFromFile(file);
  return exif;
}

// An empty text is written as an entry of count 0, which the tool prints
// as nothing.
std::string AsToolPrints(const std::string& text) { return text.substr(0, 49); }

TEST(JpegExportCorpus, EveryPhotoCarriesItsMakeModelAndProfileOver) {
  TAVREN_REQUIRE_CORPUS();
  test::TempDir dir;
  std::vector<std::string> saved;
  std::vector<TExif> sources;
  for (const fs::path& relative : test::CorpusPhotos()) {
    const fs::path photo = test::CorpusDir() / relative;
    const Image image = DecodeSmall(photo);
    ASSERT_TRUE(ImageHasPixels(image)) << relative;
    const std::string first = dir.file(std::to_string(saved.size()) + ".jpg");
    SaveJpegWithExif(image, first, photo.string());
    const TExif source = ReadExif(photo.string());
    const TExif written = ReadExif(first);
    EXPECT_EQ(written.Make, source.Make.substr(0, 49)) << relative;
    EXPECT_EQ(written.Model, source.Model.substr(0, 49)) << relative;

    const std::vector<std::uint8_t> bytes = test::ReadFileBytes(first);
    ASSERT_GT(bytes.size(), 311u) << relative;
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 20, bytes.begin() + 24),
              std::vector<std::uint8_t>({0xFF, 0xFE, 0x00, 0x55}))
        << relative;
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 107, bytes.begin() + 111),
              std::vector<std::uint8_t>({0xFF, 0xE1, 0x00, 0xC9}))
        << relative;
    const test::JpegLayout layout = test::InspectLayout(bytes);
    EXPECT_TRUE(layout.WellFormed) << relative;
    EXPECT_TRUE(layout.ProgressiveFrame) << relative;
    EXPECT_TRUE(layout.AllQuantizersOne) << relative;
    const Image decoded = test::DecodeWithLibrary(first);
    EXPECT_EQ(decoded.Width(), image.Width()) << relative;
    EXPECT_EQ(decoded.Height(), image.Height()) << relative;

    // Opened and saved again: make and model stay letter for letter.
    const std::string second = dir.file(std::to_string(saved.size()) + "-again.jpg");
    SaveJpegWithExif(decoded, second, first);
    const TExif again = ReadExif(second);
    EXPECT_EQ(again.Make, written.Make) << relative;
    EXPECT_EQ(again.Model, written.Model) << relative;

    saved.push_back(first);
    sources.push_back(source);
  }
  ASSERT_GT(saved.size(), 60u);

  if (!test::HaveExifTool()) GTEST_SKIP() << "exiftool not installed";
  const auto texts = test::ExifToolRead(saved);
  ASSERT_EQ(texts.size(), saved.size());
  std::vector<std::string> originals;
  for (const fs::path& relative : test::CorpusPhotos())
    originals.push_back((test::CorpusDir() / relative).string());
  const auto sourceProfiles = test::ExifToolIccProfiles(originals);
  const auto savedProfiles = test::ExifToolIccProfiles(saved);
  ASSERT_EQ(sourceProfiles.size(), saved.size());
  ASSERT_EQ(savedProfiles.size(), saved.size());
  std::size_t withProfile = 0;
  for (std::size_t i = 0; i < saved.size(); ++i) {
    EXPECT_EQ(texts[i].Make, AsToolPrints(sources[i].Make)) << test::CorpusPhotos()[i];
    EXPECT_EQ(texts[i].Model, AsToolPrints(sources[i].Model)) << test::CorpusPhotos()[i];
    EXPECT_EQ(texts[i].Software, kExifSoftware);
    EXPECT_EQ(savedProfiles[i], sourceProfiles[i]) << test::CorpusPhotos()[i];
    withProfile += sourceProfiles[i].empty() ? 0 : 1;
  }
  EXPECT_GT(withProfile, 15u);
}

TEST(JpegExportCorpus, TwoThreadsGiveTheBytesOfOneForEveryPhoto) {
  TAVREN_REQUIRE_CORPUS();
  ThreadPool pool(2);
  ScopedBanding banding({&pool, 0});
  for (const fs::path& relative : test::CorpusPhotos()) {
    const fs::path photo = test::CorpusDir() / relative;
    const Image image =
        test::DecodeWithLibrary(photo.string(), fs::file_size(photo) > 300'000 ? 4 : 1);
    ASSERT_TRUE(ImageHasPixels(image)) << relative;
    const std::vector<std::uint8_t> joined = EncodeJpegInTwoPieces(image);
    ASSERT_FALSE(joined.empty()) << relative;
    EXPECT_EQ(joined, EncodeJpegInOnePiece(image)) << relative;
  }
}

}  // namespace
}  // namespace tavren
