#include "jpeg_export/jpeg_export.h"
#include "jpeg_export/jpeg_encoder.h"
#include "jpeg_export/metadata_copy.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>

#include <gtest/gtest.h>
#include <zlib.h>

#include "imaging/thread_pool.h"
#include "imaging/wide_kernels.h"
#include "jpeg_export/jpeg_refinement_scans.h"
#include "picture_io/exif_reader.h"
#include "picture_io/jpeg_icc_profile.h"
#include "picture_io/picture_formats.h"
#include "support/exif_builder.h"
#include "support/jpeg_test_support.h"
#include "support/test_support.h"
#include "system/error.h"

namespace tavren {
namespace {

using test::Bytes;

constexpr std::size_t kCommentAt = 20;  // file byte 21, 1-based
constexpr std::size_t kExifAt = 107;    // file byte 108
constexpr std::size_t kTablesAt = 310;  // file byte 311

// Writes a source JPEG whose EXIF holds the given make and model.
std::string MakeSource(const test::TempDir& dir, const std::string& make, const std::string& model,
                       const std::string& name = "source.jpg") {
  test::TiffBuilder tiff(false);
  if (!make.empty()) tiff.Text(0x010F, make);
  if (!model.empty()) tiff.Text(0x0110, model);
  test::WriteFileBytes(dir.file(name), test::JpegBuilder().Jfif().Exif(tiff.Build()).End());
  return dir.file(name);
}

Bytes SaveAndRead(const Image& image, const std::string& target, const std::string& source) {
  SaveJpegWithExif(image, target, source);
  return test::ReadFileBytes(target);
}

// Segment bytes at 1-based positions [from, to] of the EXIF segment.
Bytes SegmentBytes(const Bytes& file, std::size_t from, std::size_t to) {
  return Bytes(file.begin() + kExifAt + from - 1, file.begin() + kExifAt + to);
}

bool AllZero(const Bytes& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

TEST(JpegExport, FileIsTheEncoderOutputWithBothSegmentsInserted) {
  test::TempDir dir;
  const Image image = test::RandomImage(16, 8, 5);
  const Bytes file =
      SaveAndRead(image, dir.file("out.jpg"), MakeSource(dir, "Canon", "Canon EOS 40D"));
  const Bytes encoded = EncodeJpeg(image);

  const Bytes start = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
  EXPECT_TRUE(std::equal(start.begin(), start.end(), file.begin()));
  ASSERT_EQ(file.size(), encoded.size() + 87 + 203);
  EXPECT_TRUE(std::equal(encoded.begin(), encoded.begin() + 20, file.begin()));
  EXPECT_TRUE(std::equal(encoded.begin() + 20, encoded.end(), file.begin() + kTablesAt));
  EXPECT_EQ(file[kTablesAt], 0xFF);
  EXPECT_EQ(file[kTablesAt + 1], 0xDB);  // the encoder's quantisation tables

  const Bytes commentHead = {0xFF, 0xFE, 0x00, 0x55};
  EXPECT_TRUE(std::equal(commentHead.begin(), commentHead.end(), file.begin() + kCommentAt));
  EXPECT_EQ(std::string(file.begin() + kCommentAt + 4, file.begin() + kExifAt), kJpegBanner);
}

TEST(JpegExport, ExifSegmentHasTheFixedLayout) {
  test::TempDir dir;
  const Bytes file = SaveAndRead(test::RandomImage(8, 8, 1), dir.file("out.jpg"),
                                 MakeSource(dir, "Canon", "Canon EOS 40D"));
  const Bytes head = {0xFF, 0xE1, 0x00, 0xC9, 'E', 'x', 'i',  'f',  0,    0,    'M',  'M',
                      0x00, 0x2A, 0,    0,    0,   8,   0x00, 0x03, 0x01, 0x0F, 0x00, 0x02,
                      0,    0,    0,    6,    0,   0,   0,    0x32, 0x01, 0x10, 0x00, 0x02,
                      0,    0,    0,    14,   0,   0,   0,    0x64, 0x01, 0x31, 0x00, 0x02,
                      0,    0,    0,    0x2B, 0,   0,   0,    0x96, 0,    0,    0,    0};
  EXPECT_EQ(SegmentBytes(file, 1, 60), head);
  // A five-byte make: count 6 with its zero, positions 61-65, zeros to 110.
  EXPECT_EQ(std::string(file.begin() + kExifAt + 60, file.begin() + kExifAt + 65), "Canon");
  EXPECT_TRUE(AllZero(SegmentBytes(file, 66, 110)));
  EXPECT_EQ(std::string(file.begin() + kExifAt + 110, file.begin() + kExifAt + 123),
            "Canon EOS 40D");
  EXPECT_TRUE(AllZero(SegmentBytes(file, 124, 160)));
  EXPECT_EQ(SegmentBytes(file, 161, 203), Bytes(kExifSoftware, kExifSoftware + 43));
}

TEST(JpegExport, NoSourceTextsGiveEmptyEntriesAndZeroSlots) {
  test::TempDir dir;
  test::WriteFileBytes(dir.file("plain.jpg"), test::JpegBuilder().Jfif().End());
  for (const std::string& source :
       {std::string(), dir.file("Pasted Image"), dir.file("plain.jpg")}) {
    const Bytes file = SaveAndRead(test::RandomImage(8, 8, 2), dir.file("out.jpg"), source);
    EXPECT_EQ(SegmentBytes(file, 21, 32), Bytes({0x01, 0x0F, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x32}));
    EXPECT_EQ(SegmentBytes(file, 33, 44), Bytes({0x01, 0x10, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x64}));
    EXPECT_TRUE(AllZero(SegmentBytes(file, 61, 160)));
    EXPECT_EQ(SegmentBytes(file, 45, 52), Bytes({0x01, 0x31, 0, 2, 0, 0, 0, 0x2B}));
  }
}

TEST(JpegExport, ShortTextsStandInTheValueFieldAndLongOnesAreCut) {
  test::TempDir dir;
  const std::string longModel(60, 'M');
  const Bytes file = SaveAndRead(test::RandomImage(8, 8, 3), dir.file("out.jpg"),
                                 MakeSource(dir, "WWL", longModel));
  EXPECT_EQ(SegmentBytes(file, 21, 32), Bytes({0x01, 0x0F, 0, 2, 0, 0, 0, 4, 'W', 'W', 'L', 0}));
  EXPECT_TRUE(AllZero(SegmentBytes(file, 61, 110)));
  EXPECT_EQ(SegmentBytes(file, 33, 44), Bytes({0x01, 0x10, 0, 2, 0, 0, 0, 50, 0, 0, 0, 0x64}));
  EXPECT_EQ(std::string(file.begin() + kExifAt + 110, file.begin() + kExifAt + 159),
            longModel.substr(0, 49));
  EXPECT_EQ(file[kExifAt + 159], 0);
}

// What four- and three-letter makes read back as, in our reader and in the
// EXIF tool: nothing may be lost.
TEST(JpegExport, ShortMakesAndModelsReadBack) {
  test::TempDir dir;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"SONY", "E950"}, {"WWL", "SR6"}, {"A", "Z"}, {"Canon", "Canon EOS 40D"}};
  std::vector<std::string> saved;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string name = "out" + std::to_string(i) + ".jpg";
    SaveJpegWithExif(test::RandomImage(8, 8, 4), dir.file(name),
                     MakeSource(dir, cases[i].first, cases[i].second));
    TExif exif;
    exif.ReadFromFile(dir.file(name));
    EXPECT_EQ(exif.Make, cases[i].first);
    EXPECT_EQ(exif.Model, cases[i].second);
    EXPECT_TRUE(exif.BigEndian);
    saved.push_back(dir.file(name));
  }
  if (!test::HaveExifTool()) GTEST_SKIP() << "exiftool not installed";
  const auto texts = test::ExifToolRead(saved);
  ASSERT_EQ(texts.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(texts[i].Make, cases[i].first);
    EXPECT_EQ(texts[i].Model, cases[i].second);
    EXPECT_EQ(texts[i].Software, kExifSoftware);
  }
}

TEST(JpegExport, SavingOverTheSourceReplacesItAndKeepsItsTexts) {
  test::TempDir dir;
  const std::string source = MakeSource(dir, "NIKON", "COOLPIX P1");
  const Image image = test::RandomImage(24, 16, 6);
  SaveJpegWithExif(image, source, source);
  SaveJpegWithExif(image, source, source);
  TExif exif;
  exif.ReadFromFile(source);
  EXPECT_EQ(exif.Make, "NIKON");
  EXPECT_EQ(exif.Model, "COOLPIX P1");
  EXPECT_EQ(test::DecodeWithLibrary(source).Width(), 24);
}

TEST(JpegExport, ColourProfileTravelsInTheEncodersOutput) {
  test::TempDir dir;
  const Bytes profile = test::FakeIccProfile(150000);  // three segments' worth
  test::TiffBuilder tiff(false);
  tiff.Text(0x010F, "Canon");
  // Pieces stand in any order in a file; the profile is put together by number.
  test::WriteFileBytes(dir.file("source.jpg"), test::JpegBuilder()
                                                   .Jfif()
                                                   .Exif(tiff.Build())
                                                   .IccPiece(2, 3, test::IccSlice(profile, 2, 3))
                                                   .IccPiece(1, 3, test::IccSlice(profile, 1, 3))
                                                   .IccPiece(3, 3, test::IccSlice(profile, 3, 3))
                                                   .End());
  const Image image = test::RandomImage(16, 8, 5);
  const Bytes file = SaveAndRead(image, dir.file("out.jpg"), dir.file("source.jpg"));
  EXPECT_EQ(file, BuildJpegWithExif(EncodeJpeg(image, profile), "Canon", ""));
  EXPECT_EQ(file[kTablesAt + 1], 0xE2);  // the encoder's profile comes first
  EXPECT_EQ(ReadJpegIccProfile(TMemoryByteSource(file.data(), file.size())), profile);

  // A grey profile does not describe the saved RGB pixels: none is written.
  test::WriteFileBytes(dir.file("grey.jpg"),
                       test::JpegBuilder().IccPiece(1, 1, test::FakeIccProfile(500, "GRAY")).End());
  EXPECT_EQ(SaveAndRead(image, dir.file("out.jpg"), dir.file("grey.jpg")),
            BuildJpegWithExif(EncodeJpeg(image), "", ""));
}

// Hand-made hostile blocks, the EXIF reader's fuzz seeds and colour profile
// sequences that are broken: the save goes on, with no profile, and a copy
// whose metadata cannot be kept is the default copy.
TEST(JpegExport, MalformedSourceBlocksNeverStopASave) {
  test::TempDir dir;
  const Bytes a = test::FakeIccProfile(100);
  const Bytes b(50, 0x42);
  const Bytes scan = {0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
  Bytes endsInsidePiece = test::JpegBuilder().IccPiece(1, 1, a).End();
  endsInsidePiece.resize(endsInsidePiece.size() - 40);
  std::vector<Bytes> sources = {
      test::JpegBuilder().Exif(test::TiffBuilder(true).FirstDirectoryAt(0x7FFFFFFF).Build()).End(),
      test::JpegBuilder()
          .Exif(test::TiffBuilder(false).Raw(0x010F, 2, 0xFFFFFFFF, 0xFFFFFFF0).Build())
          .End(),
      test::JpegBuilder().Exif(test::TiffBuilder(true).DeclaredCount(0).Build()).End(),
      test::JpegBuilder().Exif({'X', 'X', 0, 0x2A, 0, 0, 0, 8}).End(),
      test::JpegBuilder().Xmp(500).End(),
      Bytes{0xFF, 0xD8, 0xFF, 0xE1, 0x00},
      Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F'},
      test::JpegBuilder().IccPiece(1, 2, a).End(),
      test::JpegBuilder().IccPiece(1, 2, a).IccPiece(1, 2, a).End(),
      test::JpegBuilder().IccPiece(1, 2, a).IccPiece(2, 2, b).IccPiece(2, 2, b).End(),
      test::JpegBuilder().IccPiece(1, 2, a).IccPiece(2, 3, b).End(),
      test::JpegBuilder().IccPiece(0, 1, a).End(),
      test::JpegBuilder().Segment(0xDA, scan).IccPiece(1, 1, a).End(),
      endsInsidePiece,
  };
  const std::size_t madeHere = sources.size();  // none of these holds a whole profile
  for (const auto& seed :
       std::filesystem::directory_iterator(test::TestDataDir() / "../../fuzz/seeds/fuzz_exif"))
    sources.push_back(test::ReadFileBytes(seed.path().string()));
  ASSERT_GT(sources.size(), madeHere);

  const Image image = test::RandomImage(8, 8, 7);
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const std::string source = dir.file("bad" + std::to_string(i) + ".jpg");
    test::WriteFileBytes(source, sources[i]);
    const std::string target = dir.file("out" + std::to_string(i) + ".jpg");
    EXPECT_NO_THROW(SaveJpegWithExif(image, target, source)) << i;
    const Bytes saved = test::ReadFileBytes(target);
    EXPECT_EQ(test::DecodeWithLibrary(target).Width(), 8) << i;
    if (i < madeHere) {
      EXPECT_TRUE(ReadJpegIccProfile(TMemoryByteSource(saved.data(), saved.size())).empty()) << i;
    }

    TJpegSaveReport report;
    EXPECT_NO_THROW(report =
                        SaveJpegWithExif(image, target, source, TMetadataCarryOver::Everything))
        << i;
    EXPECT_EQ(test::DecodeWithLibrary(target).Width(), 8) << i;
    if (!report.MetadataNotKept.empty()) {
      EXPECT_EQ(test::ReadFileBytes(target), saved) << i;
    }
  }
}

void PutBigEndian32(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// A PNG chunk: length, type, data and checksum.
void AppendPngChunk(Bytes& png, const std::string& type, const Bytes& data) {
  Bytes typed(type.begin(), type.end());
  typed.insert(typed.end(), data.begin(), data.end());
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::uint8_t byte : typed) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = crc >> 1 ^ (0xEDB88320 & (0u - (crc & 1)));
  }
  PutBigEndian32(png, static_cast<std::uint32_t>(data.size()));
  png.insert(png.end(), typed.begin(), typed.end());
  PutBigEndian32(png, ~crc);
}

Bytes PngWith(const std::string& type, const Bytes& data) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  AppendPngChunk(png, "IHDR", {0, 0, 0, 8, 0, 0, 0, 8, 8, 2, 0, 0, 0});
  AppendPngChunk(png, type, data);
  AppendPngChunk(png, "IEND", {});
  return png;
}

// A little-endian TIFF whose first directory holds count UNDEFINED entries
// (tags from 0xC000 on) that all name the same value of size bytes.
Bytes TiffNamingOneValue(std::uint16_t firstTag, std::uint32_t count, std::uint32_t size) {
  Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
  const auto put = [&](std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) tiff.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  put(count, 2);
  const std::uint32_t value = 8 + 2 + 12 * count + 4;
  for (std::uint32_t i = 0; i < count; ++i) {
    put(firstTag + i, 2);
    put(7, 2);
    put(size, 4);
    put(value, 4);
  }
  put(0, 4);
  tiff.resize(tiff.size() + size, 'x');
  return tiff;
}

// A little-endian TIFF whose EXIF directory holds a maker's note that is a
// bare directory (a Canon note's layout) of count UNDEFINED entries that all
// name the same value of size bytes.
Bytes TiffWithMakerNoteNamingOneValue(std::uint32_t count, std::uint32_t size) {
  Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
  const auto put = [&](std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) tiff.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t n, std::uint32_t at) {
    put(tag, 2);
    put(type, 2);
    put(n, 4);
    put(at, 4);
  };
  constexpr std::uint32_t kExifDirectory = 8 + 2 + 12 + 4, kNote = kExifDirectory + 2 + 12 + 4;
  const std::uint32_t noteBytes = 2 + 12 * count + 4;
  put(1, 2);
  entry(0x8769, 4, 1, kExifDirectory);
  put(0, 4);
  put(1, 2);
  entry(0x927C, 7, noteBytes, kNote);
  put(0, 4);
  put(count, 2);
  for (std::uint32_t i = 0; i < count; ++i)
    entry(static_cast<std::uint16_t>(1 + i), 7, size, kNote + noteBytes);
  put(0, 4);
  tiff.resize(tiff.size() + size, 'x');
  return tiff;
}

// A zlib stream of text.
Bytes Deflated(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  Bytes deflated(size);
  EXPECT_EQ(compress(deflated.data(), &size, reinterpret_cast<const Bytef*>(text.data()),
                     static_cast<uLong>(text.size())),
            Z_OK);
  deflated.resize(size);
  return deflated;
}

// Blocks that cannot be kept are refused before Exiv2 reads them, with the
// reason a segment gives: an EXIF block or XMP packet larger than one (a
// compressed text chunk's measured inflated), and values that add up to
// far more than their block, the maker's note's among them (Exiv2 would
// copy the shared value once for each entry), in a JPEG's segment too.
TEST(KeptMetadata, BlocksTooLargeForASegmentAreRefusedBeforeTheyAreRead) {
  test::TempDir dir;
  const TSavedPicture saved{8, 8, kExifSoftware};
  Bytes xmp(70000, ' ');
  const std::string key = "XML:com.adobe.xmp";
  xmp.insert(xmp.begin(), key.begin(), key.end());
  xmp.insert(xmp.begin() + static_cast<long>(key.size()), {0, 0, 0, 0, 0});
  const std::string profile = "Raw profile type exif";
  Bytes zipped(profile.begin(), profile.end());
  zipped.insert(zipped.end(), {0, 0});  // the keyword's end, the compression method
  const Bytes digits = Deflated(std::string(200000, '0'));
  zipped.insert(zipped.end(), digits.begin(), digits.end());
  const struct {
    const char* Name;
    Bytes Content;
    const char* Reason;
  } sources[] = {
      {"exif.png", PngWith("eXIf", TiffNamingOneValue(0xC000, 1, 70000)),
       "the EXIF block is too large for a JPEG segment"},
      {"xmp.png", PngWith("iTXt", xmp), "the XMP packet is too large for a JPEG segment"},
      {"xmp.tif", TiffNamingOneValue(700, 1, 70000),
       "the XMP packet is too large for a JPEG segment"},
      {"shared.tif", TiffNamingOneValue(0xC000, 200, 60000),
       "the EXIF block is damaged (its values add up to 12000000 bytes in 62414)"},
      {"shared.jpg", test::JpegBuilder().Exif(TiffNamingOneValue(0xC000, 1000, 30000)).End(),
       "the EXIF block is damaged (its values add up to 30000000 bytes in 42014)"},
      {"maker.tif", TiffWithMakerNoteNamingOneValue(200, 60000),
       "the EXIF block is damaged (its values add up to 12002410 bytes in 62450)"},
      {"ztxt.png", PngWith("zTXt", zipped), "the EXIF block is too large for a JPEG segment"},
  };
  for (const auto& source : sources) {
    test::WriteFileBytes(dir.file(source.Name), source.Content);
    try {
      KeptMetadataSegments(dir.file(source.Name), saved);
      ADD_FAILURE() << source.Name << " was kept";
    } catch (const TavrenError& error) {
      EXPECT_EQ(error.reason(), source.Reason) << source.Name;
    }
  }
}

// The TIFF-structured block of a JPEG file's EXIF segment, which is a TIFF
// file of metadata alone.
Bytes ExifBlockOf(const Bytes& jpeg) {
  const std::string identifier("Exif\0\0", 6);
  const auto exif = std::search(jpeg.begin(), jpeg.end(), identifier.begin(), identifier.end());
  if (exif - jpeg.begin() < 4) return {};
  const std::size_t length = std::size_t{exif[-2]} << 8 | exif[-1];
  return Bytes(exif + 6, exif - 2 + static_cast<long>(length));
}

// A TIFF's metadata is read no further than its directories and their
// values reach: a long tail (a sparse gigabyte) behind a maker's note, or
// claimed by a maker's note, by the strips' byte counts or by a value, is
// not read and changes nothing that is kept; an XMP packet claiming it is
// refused, as one too large for a segment, before it is read.
TEST(KeptMetadata, TiffTailsAreNotRead) {
  TAVREN_REQUIRE_CORPUS();
  test::TempDir dir;
  const TSavedPicture saved{8, 8, kExifSoftware};
  constexpr std::uint32_t kTail = 1u << 30;
  const auto camera = [](const char* name) {
    return ExifBlockOf(test::ReadFileBytes((test::CorpusDir() / "camera" / name).string()));
  };
  // The Canon note's entry (little-endian) claims the tail.
  Bytes noteClaim = camera("Canon_PowerShot_S40.jpg");
  const Bytes noteEntry = {0x7C, 0x92, 7, 0};
  const auto note =
      std::search(noteClaim.begin(), noteClaim.end(), noteEntry.begin(), noteEntry.end());
  ASSERT_NE(note, noteClaim.end());
  for (int i = 0; i < 4; ++i) note[4 + i] = static_cast<std::uint8_t>((kTail - 8) >> (8 * i));
  const struct {
    const char* Name;
    Bytes Content;
    const char* Reason;
  } sources[] = {
      {"canon.tif", camera("Canon_PowerShot_S40.jpg"), nullptr},
      {"nikon.tif", camera("Nikon_COOLPIX_P1.jpg"), nullptr},
      {"fujifilm.tif", camera("Fujifilm_FinePix_E500.jpg"), nullptr},
      {"panasonic.tif", camera("Panasonic_DMC-FZ30.jpg"), nullptr},
      {"note.tif", noteClaim, nullptr},
      {"strips.tif",
       test::TiffBuilder(false)
           .Text(0x010F, "Maker")
           .Raw(0x0111, 4, 1, 8)
           .Raw(0x0117, 4, 1, kTail)
           .Build(),
       nullptr},
      {"xmp.tif", test::TiffBuilder(false).Raw(700, 1, kTail, 8).Build(),
       "the XMP packet is too large for a JPEG segment"},
  };
  for (const auto& source : sources) {
    SCOPED_TRACE(source.Name);
    const std::string file = dir.file(source.Name);
    test::WriteFileBytes(file, source.Content);
    const std::optional<Bytes> kept =
        source.Reason ? std::nullopt : std::optional(KeptMetadataSegments(file, saved));
    std::filesystem::resize_file(file, source.Content.size() + kTail);
    EXPECT_LT(FormatOfPath(file)->MetadataReach(TFileByteSource(file)).Extent,
              source.Content.size() + (1 << 20));
    const long peakBefore = test::PeakResidentKiB();
    try {
      EXPECT_EQ(KeptMetadataSegments(file, saved), kept);
    } catch (const TavrenError& error) {
      EXPECT_EQ(error.reason(), source.Reason ? source.Reason : "");
    }
    EXPECT_LT(test::PeakResidentKiB() - peakBefore, 64 << 10);
  }
  // A small XMP packet far behind the directory, past a gigabyte of
  // nothing: kept as when it follows the directory, the gap never read.
  const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF/></x:xmpmeta>";
  const auto withXmpAt = [&](std::uint32_t place) {
    return test::TiffBuilder(false)
        .Text(0x010F, "Maker")
        .Raw(700, 1, static_cast<std::uint32_t>(xmp.size()), place)
        .Build();
  };
  const std::uint32_t behind = static_cast<std::uint32_t>(withXmpAt(0).size());
  std::optional<Bytes> kept;
  for (const std::uint32_t place : {behind, behind + kTail}) {
    const std::string file = dir.file("xmp-at-" + std::to_string(place) + ".tif");
    test::WriteFileBytes(file, withXmpAt(place));
    std::fstream(file, std::ios::in | std::ios::out | std::ios::binary)
        .seekp(place)
        .write(xmp.data(), static_cast<std::streamsize>(xmp.size()));
    const long peakBefore = test::PeakResidentKiB();
    const Bytes segments = KeptMetadataSegments(file, saved);
    // An eighth of the gap aside: the address checker's record of it.
    EXPECT_LT(test::PeakResidentKiB() - peakBefore, 256 << 10);
    EXPECT_EQ(segments, kept.value_or(segments));
    kept = segments;
  }
}

// A HEIC's EXIF and XMP items are kept, as a JPEG's segments are (Exiv2
// alone would take the file for a movie and find neither).
TEST(KeptMetadata, HeicKeepsItsExifAndXmpItems) {
  TAVREN_REQUIRE_PICTURE_TOOLS();
  TAVREN_REQUIRE_TOOL("exiftool");
  test::TempDir dir;
  const std::string photo = dir.file("photo.jpg"), heic = dir.file("kept.heic");
  test::WriteFileBytes(photo, test::ReadFileBytes(test::TestDataPath("small_photo.jpg")));
  ASSERT_TRUE(test::RunQuietly("exiftool -overwrite_original '-Model=Canon EOS 40D' " + photo));
  ASSERT_TRUE(test::MakePicture(photo, heic));
  ASSERT_TRUE(test::RunQuietly("exiftool -overwrite_original -XMP-dc:Title=Harbour " + heic));
  const Bytes segments = KeptMetadataSegments(heic, {8, 8, kExifSoftware});
  const std::string text(segments.begin(), segments.end());
  for (const char* kept : {"Exif", "Canon EOS 40D", "Harbour"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept;
  EXPECT_EQ(text.find("quicktime"), std::string::npos);
}

// A smooth picture with a little noise: long runs of zero coefficients,
// which the progressive scans code as end-of-band runs.
Image SmoothPicture(std::int32_t width, std::int32_t height) {
  Image image(width, height);
  const Image noise = test::RandomImage(width, height, 11);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x)
      for (int b = 0; b < 3; ++b)
        image.Row(y)[3 * x + b] = static_cast<std::uint8_t>(
            (x * 255 / width + y * 128 / height + 40 * b + noise.Row(y)[3 * x + b] % 5) % 256);
  return image;
}

TEST(JpegExport, TwoThreadsGiveTheBytesOfOne) {
  // Sizes around the 16 x 16 blocks of the colour-reduced channels, single
  // rows and columns, noise (large coefficients and 0xFF bytes in the
  // coded data) and smooth pictures; with and without a second thread.
  const std::pair<std::int32_t, std::int32_t> sizes[] = {{1, 1},  {2, 3},   {17, 9},  {40, 1},
                                                         {1, 40}, {33, 17}, {16, 16}, {300, 201}};
  for (int threads : {1, 2}) {
    ThreadPool pool(threads);
    ScopedBanding banding({&pool, 0});
    for (const auto& [width, height] : sizes) {
      for (const Image& image :
           {test::RandomImage(width, height, 3), SmoothPicture(width, height)}) {
        const Bytes whole = EncodeJpegInOnePiece(image);
        const Bytes joined = EncodeJpegInTwoPieces(image);
        ASSERT_FALSE(joined.empty()) << width << "x" << height;
        EXPECT_EQ(joined, whole) << width << "x" << height;
        EXPECT_EQ(EncodeJpeg(image), whole) << width << "x" << height;
      }
    }
    const Image large = SmoothPicture(640, 480);  // large enough for EncodeJpeg to split
    EXPECT_EQ(EncodeJpeg(large), EncodeJpegInOnePiece(large));
    // The profile stands once in the joined file, where one encoder puts it.
    const Bytes profile = test::FakeIccProfile(70000);
    const Bytes whole = EncodeJpegInOnePiece(large, profile);
    EXPECT_EQ(EncodeJpegInTwoPieces(large, profile), whole);
    EXPECT_EQ(EncodeJpeg(large, profile), whole);
    EXPECT_EQ(ReadJpegIccProfile(TMemoryByteSource(whole.data(), whole.size())), profile);
  }
  // Too wide for the format: the split encoding fails, and the one
  // encoder that tries again reports it.
  EXPECT_TRUE(EncodeJpegInTwoPieces(Image(70000, 4)).empty());
  EXPECT_THROW(EncodeJpeg(Image(70000, 4)), TavrenError);
}

// Coefficients drawn block by block from kinds that reach every branch of
// the refinement coding: blocks with nothing to refine (end-of-band runs),
// blocks with only correction bits (which the coder holds back), long runs
// of zeros before a new coefficient, and dense or large values.
test::CoefficientPicture MixedCoefficients(int width, int height, int firstKind, int lastKind) {
  std::mt19937 random(static_cast<std::uint32_t>(width));
  const auto draw = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  test::CoefficientPicture picture{width, height, {}};
  for (auto& component : picture.Components) {
    component.assign(static_cast<std::size_t>(width * height * 64), 0);
    for (std::size_t block = 0; block < component.size(); block += 64) {
      std::int16_t* c = &component[block];
      c[0] = static_cast<std::int16_t>(draw(-1000, 1000));
      const int kind = draw(firstKind, lastKind);
      for (int i = 1; i < 64; ++i) {
        int value = 0;
        if (kind == 1 && draw(0, 4) > 0) value = draw(2, 3);
        if (kind == 2 && draw(0, 9) == 0) value = draw(2, 5);
        if (kind == 3 && draw(0, 2) > 0) value = draw(0, 6);
        if (kind == 4 && draw(0, 7) == 0) value = draw(0, 1023);
        c[i] = static_cast<std::int16_t>(draw(0, 1) ? value : -value);
      }
      if (kind == 2) c[63 - draw(0, 3)] = static_cast<std::int16_t>(draw(0, 1) ? 1 : -1);
    }
  }
  return picture;
}

TBlockPlane PlaneOf(const test::CoefficientPicture& picture, int component) {
  TBlockPlane plane;
  plane.WidthInBlocks = static_cast<std::uint32_t>(picture.WidthInBlocks);
  plane.ComponentId = static_cast<std::uint8_t>(component + 1);
  plane.AcTable = component == 0 ? 0 : 1;
  for (int row = 0; row < picture.HeightInBlocks; ++row)
    plane.Rows.push_back(picture.Components[component].data() + row * picture.WidthInBlocks * 64);
  return plane;
}

TEST(JpegExport, RefinementScansAreTheLibrarysForAnyCoefficients) {
  // Every kind of block at random; only correction bits, more than the
  // coder holds back; more blocks without anything to refine than one
  // end-of-band run holds.
  test::CoefficientPicture flat{256, 129, {}};
  for (auto& component : flat.Components) component.assign(256 * 129 * 64, 0);
  const test::CoefficientPicture pictures[] = {MixedCoefficients(61, 37, 0, 4),
                                               MixedCoefficients(23, 11, 1, 1), flat};
  for (const bool oneByOne : {false, true}) {
    std::optional<ScopedPlainLoops> scoped;
    if (oneByOne) scoped.emplace();
    for (const test::CoefficientPicture& picture : pictures) {
      const Bytes file = test::WriteCoefficientsWithLibrary(picture);
      ASSERT_FALSE(file.empty());
      // The library's last three scans refine the lowest bit of Cr, Cb and
      // luma; its sixth refines the luma's second bit.
      Bytes last;
      for (int component : {2, 1, 0})
        ASSERT_TRUE(AppendAcRefinementScan(PlaneOf(picture, component), {1, 63, 1, 0}, last));
      last.insert(last.end(), {0xFF, 0xD9});
      ASSERT_LT(last.size(), file.size());
      EXPECT_TRUE(std::equal(last.begin(), last.end(), file.end() - static_cast<long>(last.size())))
          << picture.WidthInBlocks << (oneByOne ? " one by one" : "");
      Bytes sixth;
      ASSERT_TRUE(AppendAcRefinementScan(PlaneOf(picture, 0), {1, 63, 2, 1}, sixth));
      EXPECT_NE(std::search(file.begin(), file.end(), sixth.begin(), sixth.end()), file.end())
          << picture.WidthInBlocks << (oneByOne ? " one by one" : "");
    }
  }
}

TEST(JpegExport, EncodingFailuresAreReportedWithTheFileName) {
  test::TempDir dir;
  try {
    SaveJpegWithExif(Image(), dir.file("empty.jpg"), "");
    FAIL() << "an empty picture was saved";
  } catch (const TavrenError& error) {
    EXPECT_EQ(error.file(), dir.file("empty.jpg"));
  }
  // Wider than the format allows: the library refuses it, and nothing exits.
  EXPECT_THROW(SaveJpegWithExif(Image(70000, 1), dir.file("wide.jpg"), ""), TavrenError);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace tavren
