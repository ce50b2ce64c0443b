#include "picture_io/exif_reader.h"

#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "support/exif_builder.h"
#include "support/jpeg_test_support.h"
#include "support/test_support.h"

namespace tavren {
namespace {

using test::Bytes;
using test::JpegBuilder;
using test::TiffBuilder;

constexpr std::uint16_t kMake = 0x010F, kModel = 0x0110, kOrientation = 0x0112;

TExif ReadBytes(const Bytes& file) {
  TExif exif;
  exif.ReadFromMemory(file.data(), file.size());
  return exif;
}

// Reads the same bytes from a file and from memory; both must agree.
TExif ReadBoth(const Bytes& file) {
  test::TempDir dir;
  test::WriteFileBytes(dir.file("a.jpg"), file);
  TExif fromFile;
  fromFile.ReadFromFile(dir.file("a.jpg"));
  const TExif fromMemory = ReadBytes(file);
  EXPECT_EQ(fromFile.Make, fromMemory.Make);
  EXPECT_EQ(fromFile.Model, fromMemory.Model);
  EXPECT_EQ(fromFile.Valid, fromMemory.Valid);
  EXPECT_EQ(fromFile.Orientation, fromMemory.Orientation);
  return fromFile;
}

TEST(ExifReader, ReadsMakeAndModelBehindJfifInBothByteOrders) {
  for (const bool bigEndian : {false, true}) {
    const Bytes tiff = TiffBuilder(bigEndian)
                           .Raw(0x0100, 3, 1, 0)
                           .Text(kMake, "NIKON CORPORATION")
                           .Text(kModel, "NIKON D70")
                           .Short(kOrientation, 6)
                           .Build();
    const TExif exif = ReadBoth(JpegBuilder().Jfif().Exif(tiff).End());
    EXPECT_TRUE(exif.Valid);
    EXPECT_EQ(exif.BigEndian, bigEndian);
    EXPECT_EQ(exif.Make, "NIKON CORPORATION");
    EXPECT_EQ(exif.Model, "NIKON D70");
    EXPECT_EQ(exif.Orientation, 6);
  }
}

TEST(ExifReader, ReadsExifSegmentThatFollowsStartOfImage) {
  const Bytes tiff = TiffBuilder(false).Text(kMake, "Canon").Build();
  EXPECT_EQ(ReadBoth(JpegBuilder().Exif(tiff).End()).Make, "Canon");
}

TEST(ExifReader, FileWithoutExifLeavesEverythingEmpty) {
  const TExif exif = ReadBoth(JpegBuilder().Jfif().Filler(0xDB, 67).End());
  EXPECT_FALSE(exif.Valid);
  EXPECT_EQ(exif.Make, "");
  EXPECT_EQ(exif.Model, "");
  EXPECT_EQ(exif.Orientation, 0);
}

// The segment is looked for within 1001 words behind the first segment
// header (behind the 9 bytes read at position 20 of a JFIF file: from 29).
TEST(ExifReader, SearchesTheExifSegmentWithin1001Words) {
  const Bytes tiff = TiffBuilder(true).Text(kModel, "DSC-D700").Build();
  const auto withGap = [&](std::size_t fillerPayload) {
    return JpegBuilder().Jfif().Filler(0xE2, fillerPayload).Exif(tiff).End();
  };
  // The marker at 20 + 4 + payload; the last place found is 29 + 2000.
  const std::size_t lastFound = 29 + 2000 - 24;
  EXPECT_EQ(ReadBoth(withGap(lastFound)).Model, "DSC-D700");
  EXPECT_EQ(ReadBoth(withGap(lastFound - 1)).Model, "DSC-D700");  // odd distance
  const TExif beyond = ReadBoth(withGap(lastFound + 1));
  EXPECT_FALSE(beyond.Valid);
  EXPECT_EQ(beyond.Model, "");
}

TEST(ExifReader, ExifSegmentAtAnOddDistanceBehindAnotherSegmentIsFound) {
  // Several of the orientation photos: JFIF, a colour profile, then EXIF.
  const Bytes tiff = TiffBuilder(true).Short(kOrientation, 8).Build();
  EXPECT_EQ(ReadBoth(JpegBuilder().Jfif().Filler(0xE2, 1974).Exif(tiff).End()).Orientation, 8);
}

TEST(ExifReader, NonExifApp1IsNotReadAsExif) {
  const TExif xmpOnly = ReadBoth(JpegBuilder().Jfif().Xmp(300).End());
  EXPECT_FALSE(xmpOnly.Valid);
  EXPECT_EQ(xmpOnly.Make, "");

  const Bytes tiff = TiffBuilder(false).Text(kMake, "Jolla").Build();
  EXPECT_EQ(ReadBoth(JpegBuilder().Jfif().Xmp(300).Exif(tiff).End()).Make, "Jolla");
  // An XMP packet longer than the search window hides the EXIF behind it.
  EXPECT_FALSE(ReadBoth(JpegBuilder().Jfif().Xmp(3000).Exif(tiff).End()).Valid);
}

TEST(ExifReader, ShortTextsStandInTheValueField) {
  for (const bool bigEndian : {false, true}) {
    const Bytes tiff = TiffBuilder(bigEndian)
                           .Text(kMake, "WWL")                        // count 4, zero included
                           .Text(kModel, std::string("SR6\0", 4), 3)  // count without zero
                           .Build();
    const TExif exif = ReadBoth(JpegBuilder().Jfif().Exif(tiff).End());
    EXPECT_EQ(exif.Make, "WWL");
    EXPECT_EQ(exif.Model, "SR6");
  }
}

TEST(ExifReader, CountsWithoutTheZeroKeepTheLastLetter) {
  const Bytes tiff = TiffBuilder(false)
                         .Text(kMake, "SONY", 4)            // value field, no zero
                         .Text(kModel, "CYBERSHOTXXXX", 9)  // only 9 of the stored bytes count
                         .Build();
  const TExif exif = ReadBoth(JpegBuilder().Exif(tiff).End());
  EXPECT_EQ(exif.Make, "SONY");
  EXPECT_EQ(exif.Model, "CYBERSHOT");
}

TEST(ExifReader, TrailingBlanksAndControlCharactersAreRemoved) {
  const Bytes tiff = TiffBuilder(true)
                         .Text(kMake, "OLYMPUS OPTICAL CO.,LTD   ")
                         .Text(kModel, std::string("  C960Z \t\r\n\0garbage\0", 20), 20)
                         .Build();
  const TExif exif = ReadBoth(JpegBuilder().Jfif().Exif(tiff).End());
  EXPECT_EQ(exif.Make, "OLYMPUS OPTICAL CO.,LTD");
  EXPECT_EQ(exif.Model, "  C960Z");
}

TEST(ExifReader, OrientationOutsideOneToEightOrOfWrongTypeCountsAsAbsent) {
  EXPECT_EQ(ReadBytes(JpegBuilder().Exif(TiffBuilder(true).Short(kOrientation, 9).Build()).End())
                .Orientation,
            0);
  EXPECT_EQ(
      ReadBytes(JpegBuilder().Exif(TiffBuilder(false).Raw(kOrientation, 4, 1, 3).Build()).End())
          .Orientation,
      0);
  EXPECT_EQ(ReadBytes(JpegBuilder().Exif(TiffBuilder(false).Short(kOrientation, 3).Build()).End())
                .Orientation,
            3);
}

TEST(ExifReader, TagZeroEndsTheDirectory) {
  const Bytes tiff = TiffBuilder(false).Raw(0, 0, 0, 0).Text(kMake, "Canon").Build();
  EXPECT_EQ(ReadBytes(JpegBuilder().Exif(tiff).End()).Make, "");
}

TEST(ExifReader, MissingFileChangesNothingAndOtherFilesStartAfresh) {
  TExif exif;
  exif.ReadFromMemory(nullptr, 0);
  const Bytes tiff = TiffBuilder(false).Text(kMake, "Canon").Short(kOrientation, 3).Build();
  const Bytes file = JpegBuilder().Exif(tiff).End();
  exif.ReadFromMemory(file.data(), file.size());
  test::TempDir dir;
  exif.ReadFromFile(dir.file("missing.jpg"));
  exif.ReadFromFile(dir.path().string());  // a folder is no file either
  EXPECT_EQ(exif.Make, "Canon");
  EXPECT_EQ(exif.Orientation, 3);
  EXPECT_TRUE(exif.Valid);

  test::WriteFileBytes(dir.file("text.jpg"), Bytes{'h', 'e', 'l', 'l', 'o'});
  exif.ReadFromFile(dir.file("text.jpg"));
  EXPECT_EQ(exif.Make, "");
  EXPECT_EQ(exif.Orientation, 0);
  EXPECT_FALSE(exif.Valid);
}

// ---- Malformed blocks: the reader stops, keeps what it read, never throws.

TEST(ExifReaderMalformed, DirectoryOffsetPastTheEnd) {
  const TExif exif = ReadBoth(
      JpegBuilder()
          .Exif(TiffBuilder(false).Text(kMake, "Canon").FirstDirectoryAt(0xFFFFFFF0).Build())
          .End());
  EXPECT_TRUE(exif.Valid);
  EXPECT_EQ(exif.Make, "");
}

TEST(ExifReaderMalformed, TruncatedDirectoryKeepsTheEntriesBeforeTheCut) {
  Bytes file =
      JpegBuilder()
          .Exif(TiffBuilder(false).Text(kMake, "Canon").Text(kModel, "Canon EOS 40D").Build())
          .End();
  // Cut inside the second entry: start of image 2, segment header 10, TIFF
  // header 8, count 2, first entry 12, half of the second.
  file.resize(2 + 10 + 8 + 2 + 12 + 6);
  // The make's text lay behind the directory and is gone as well.
  const TExif exif = ReadBoth(file);
  EXPECT_TRUE(exif.Valid);
  EXPECT_EQ(exif.Make, "");
  EXPECT_EQ(exif.Model, "");

  const Bytes shortTexts =
      JpegBuilder().Exif(TiffBuilder(true).Text(kMake, "WWL").Text(kModel, "ION230").Build()).End();
  Bytes cut(shortTexts.begin(), shortTexts.begin() + 2 + 10 + 8 + 2 + 12 + 6);
  EXPECT_EQ(ReadBoth(cut).Make, "WWL");
}

TEST(ExifReaderMalformed, EmptyDirectoryReadsTheBytesBehindAsEntriesUntilTheEnd) {
  // Count 0 is read as 100 entries: what follows the count is garbage here,
  // and the file ends long before 100 entries.
  Bytes tiff = TiffBuilder(true).DeclaredCount(0).Build();
  tiff.insert(tiff.end(), {0x01, 0x0F, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 'A',  'B',  0,
                           0,    0xAB, 0xCD, 0x77, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  const TExif exif = ReadBoth(JpegBuilder().Exif(tiff).End());
  EXPECT_TRUE(exif.Valid);
  EXPECT_EQ(exif.Make, "");  // the next-directory offset 0 ended the directory first

  Bytes garbage = TiffBuilder(true).DeclaredCount(0).Build();
  garbage.resize(garbage.size() - 4);  // no next-directory offset: the entries follow
  garbage.insert(garbage.end(), {0x01, 0x0F, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 'A', 'B', 0, 0});
  for (int i = 0; i < 20; ++i) garbage.insert(garbage.end(), {0xAB, 0xCD, 0x77, 0x77});
  EXPECT_EQ(ReadBoth(JpegBuilder().Exif(garbage).End()).Make, "AB");
}

TEST(ExifReaderMalformed, HugeTextCountsAreCappedAndTextsPastTheEndAreEmpty) {
  const std::string longText(5000, 'x');
  const Bytes capped =
      JpegBuilder().Exif(TiffBuilder(false).Text(kMake, longText + '\0', 0xFFFFFFFF).Build()).End();
  EXPECT_EQ(ReadBoth(capped).Make, std::string(TExif::kMaxTextBytes, 'x'));

  // The text runs into the end of the file before its count or a zero.
  Bytes cut =
      JpegBuilder().Exif(TiffBuilder(false).Text(kModel, "abcdefghij", 0x7FFFFFFF).Build()).End();
  cut.resize(cut.size() - 2 - 1);  // the end-of-image marker and the last letter
  EXPECT_EQ(ReadBoth(cut).Model, "");

  const Bytes outside =
      JpegBuilder()
          .Exif(TiffBuilder(true).Raw(kMake, 2, 40, 0xFFFFFF00).Text(kModel, "X700").Build())
          .End();
  const TExif exif = ReadBoth(outside);
  EXPECT_EQ(exif.Make, "");
  EXPECT_EQ(exif.Model, "X700");
}

TEST(ExifReaderMalformed, EveryTruncationAndRandomDamageIsSurvived) {
  const Bytes good = JpegBuilder()
                         .Jfif()
                         .Exif(TiffBuilder(true)
                                   .Text(kMake, "EASTMAN KODAK COMPANY")
                                   .Text(kModel, "KODAK DC240 ZOOM DIGITAL CAMERA")
                                   .Short(kOrientation, 5)
                                   .Build())
                         .End();
  for (std::size_t size = 0; size <= good.size(); ++size) {
    const TExif exif = ReadBytes(Bytes(good.begin(), good.begin() + size));
    EXPECT_LE(exif.Make.size(), 21u);
  }
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = good;
    for (int k = 0; k < 4; ++k)
      damaged[20 + random() % (damaged.size() - 20)] = static_cast<std::uint8_t>(random());
    const TExif exif = ReadBytes(damaged);
    EXPECT_LE(exif.Make.size(), TExif::kMaxTextBytes);
    EXPECT_LE(exif.Orientation, 8);
  }
}

// ---- The corpus: our reader against the reference table.

struct ManifestRow {
  std::string File, Make, Model;
};

std::vector<ManifestRow> ReadManifest() {
  std::vector<ManifestRow> rows;
  std::ifstream in(test::CorpusDir() / "MANIFEST.tsv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    ManifestRow row;
    std::string width, height;
    std::getline(fields, row.File, '\t');
    std::getline(fields, width, '\t');
    std::getline(fields, height, '\t');
    std::getline(fields, row.Make, '\t');
    std::getline(fields, row.Model, '\t');
    rows.push_back(row);
  }
  return rows;
}

TEST(ExifReaderCorpus, MakeAndModelMatchTheReferenceTable) {
  TAVREN_REQUIRE_CORPUS();
  const auto rows = ReadManifest();
  ASSERT_GT(rows.size(), 60u);
  for (const ManifestRow& row : rows) {
    TExif exif;
    exif.ReadFromFile((test::CorpusDir() / row.File).string());
    if (row.File == "exif-org/sony-powershota5.jpg") {
      // Its make and model stand in a maker's own APP0 block, not in EXIF.
      EXPECT_FALSE(exif.Valid);
      EXPECT_EQ(exif.Make, "");
      continue;
    }
    EXPECT_EQ(exif.Make, row.Make) << row.File;
    EXPECT_EQ(exif.Model, row.Model) << row.File;
  }
}

}  // namespace
}  // namespace tavren
