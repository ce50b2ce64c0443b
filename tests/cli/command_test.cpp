// Runs the built `tavren` program as a user would.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "enhance/base_image.h"
#include "enhance/process_types.h"
#include "jpeg_export/jpeg_encoder.h"
#include "jpeg_export/jpeg_export.h"
#include "picture_io/exif_reader.h"
#include "picture_io/picture_files.h"
#include "run_program.h"
#include "support/jpeg_test_support.h"
#include "support/test_support.h"
#include "system/file_bytes.h"
#include "system/file_replace.h"

namespace tavren {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

test::TProgramResult Tavren(const std::vector<std::string>& args,
                            test::TProgramRun run = test::TProgramRun{}) {
  run.Args = {TAVREN_CLI_PATH};
  run.Args.insert(run.Args.end(), args.begin(), args.end());
  const test::TProgramResult result = test::RunProgram(run);
  EXPECT_FALSE(result.TimedOut) << "tavren did not end: " << args.back();
  return result;
}

test::TProgramRun WithVariable(const std::string& variable) {
  test::TProgramRun run;
  run.Environment = {variable};
  return run;
}

std::string SmallPhoto() { return test::TestDataPath("small_photo.jpg"); }

class CommandTest : public ::testing::Test {
 protected:
  // A copy of the small test photo in the temporary folder.
  std::string PhotoCopy(const std::string& name) {
    const std::string path = dir_.file(name);
    fs::copy_file(SmallPhoto(), path);
    return path;
  }
  test::TempDir dir_;
};

TEST_F(CommandTest, UsageErrorsExitTwoWithTheUsage) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {"enhance"},
           {"enhance", "--type", "x", "a.jpg"},
           {"resize", "a.jpg"},
           {"enhance", "--keep-metadata", "-o", "x.bmp", "a.jpg"}}) {
    const test::TProgramResult run = Tavren(args);
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("usage: tavren enhance"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.rfind("tavren: ", 0), 0u) << run.Err;
  }
  const test::TProgramResult empty = Tavren({"enhance", ""});
  EXPECT_EQ(empty.Status, 2);
  EXPECT_EQ(empty.Err.rfind("tavren: a picture name is empty\n", 0), 0u) << empty.Err;
  const test::TProgramResult badLimit =
      Tavren({"info", SmallPhoto()}, WithVariable("TAVREN_MAX_MEGAPIXELS=lots"));
  EXPECT_EQ(badLimit.Status, 2);
  EXPECT_NE(badLimit.Err.find("TAVREN_MAX_MEGAPIXELS must be"), std::string::npos) << badLimit.Err;

  // --help explains every option on a line of its own, and what the user
  // needs around them.
  const test::TProgramResult help = Tavren({"--help"});
  EXPECT_EQ(help.Status, 0);
  for (const char* line : {"\n  --type TYPE ",
                           "\n  --clarivex off|weak|normal|strong ",
                           "\n  --lumora off|weak|normal|strong ",
                           "\n  --artifact-suppression ",
                           "\n  --color-distortion-suppression ",
                           "\n  --fit WIDTHxHEIGHT ",
                           "\n  -o FILE ",
                           "\n  --out-dir DIR ",
                           "\n  --force ",
                           "\n  -j N ",
                           "\n  -q ",
                           "\n  --max-megapixels N ",
                           "\n  -h, --help ",
                           "\n  original ",
                           "\n  light ",
                           "\n  normal ",
                           "\n  deep ",
                           "photocopy.jpg",
                           "65500",
                           "Exit status: 0",
                           "k/N PICTURE",
                           "default: normal"})
    EXPECT_NE(help.Out.find(line), std::string::npos) << line;
  const test::TProgramResult version = Tavren({"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, std::string("tavren ") + TAVREN_VERSION_TEXT + "\n");
}

TEST_F(CommandTest, BadFilesAreNamedAndTheOthersStillDone) {
  const std::string good = PhotoCopy("good.jpg");
  const std::string broken = dir_.file("broken.jpg");
  std::ofstream(broken) << "not a picture";
  const std::string missing = dir_.file("missing.jpg");
  const std::string text = dir_.file("notes.txt");
  std::ofstream(text) << "hello";

  const test::TProgramResult run = Tavren({"enhance", broken, good, missing, text});
  EXPECT_EQ(run.Status, 1);
  for (const std::string& bad : {broken, missing, text})
    EXPECT_NE(run.Err.find("tavren: " + bad + ": "), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find(good), std::string::npos) << run.Err;
  EXPECT_TRUE(fs::exists(dir_.file("goodcopy.jpg")));
  EXPECT_FALSE(fs::exists(dir_.file("brokencopy.jpg")));
}

TEST_F(CommandTest, AnExistingOutputIsKeptWithoutForce) {
  const std::string photo = PhotoCopy("photo.jpg");
  const std::string output = dir_.file("photocopy.jpg");
  std::ofstream(output) << "keep me";

  test::TProgramResult run = Tavren({"enhance", photo});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("tavren: " + output + ": "), std::string::npos) << run.Err;
  EXPECT_EQ(ReadText(output), "keep me");

  run = Tavren({"enhance", "--force", photo});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(LoadPicture(output).Width(), LoadPicture(photo).Width());
}

TEST_F(CommandTest, ResultsEqualTheEngineComputation) {
  const std::string photo = PhotoCopy("photo.jpg");
  const Image picture = LoadPicture(photo);

  test::TProgramResult run =
      Tavren({"enhance", "--type", "deep", photo, "-o", dir_.file("deep.bmp")});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(LoadPicture(dir_.file("deep.bmp")), *ProcessedCopy(picture, TypePresets[ptDeep]));

  run = Tavren({"enhance", "--lumora", "weak", "--artifact-suppression", "--clarivex", "strong",
                "--color-distortion-suppression", photo, "-o", dir_.file("manual.bmp")});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(LoadPicture(dir_.file("manual.bmp")), *ProcessedCopy(picture, {1, 1, 3, 1}));

  // --fit reduces as the window does before processing.
  run = Tavren({"enhance", "--fit", "60x50", photo, "-o", dir_.file("fit.bmp")});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const TBaseImage base = MakeBaseImage(picture, 50, 60);
  ASSERT_TRUE(base.Reduced);
  EXPECT_EQ(LoadPicture(dir_.file("fit.bmp")),
            *ProcessedCopy(*base.Picture, TypePresets[ptNormal]));
}

// A folder stands for its pictures in the window's order, into an output
// folder made on the way; on a terminal each finished picture is counted.
TEST_F(CommandTest, AFolderOfPicturesIntoANewFolderWithProgress) {
  fs::create_directories(dir_.path() / "in" / "sub.jpg");  // a folder, not a picture
  for (const char* name : {"c.jpg", "B.jpg", "a.jpg"}) PhotoCopy("in/" + std::string(name));
  std::ofstream(dir_.file("in/notes.txt")) << "hello";
  const std::string in = dir_.file("in");
  const std::string out = dir_.file("made/on/the/way");

  // Progress shows on a terminal only; where none can be opened the run
  // still counts, and the test says at its end why progress went unchecked.
  const bool terminalOpens = test::CanOpenPseudoTerminal();
  test::TProgramRun terminal;
  terminal.StderrOnTerminal = terminalOpens;
  test::TProgramResult run = Tavren({"enhance", "--out-dir", out, in}, terminal);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err, terminalOpens ? "1/3 " + in + "/a.jpg\r\n2/3 " + in + "/B.jpg\r\n3/3 " + in +
                                         "/c.jpg\r\n"
                                   : "");
  for (const char* name : {"acopy.jpg", "Bcopy.jpg", "ccopy.jpg"})
    EXPECT_TRUE(fs::exists(out + "/" + name)) << name;

  run = Tavren({"enhance", "-q", "--force", "--out-dir", out, in}, terminal);
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Err, "");
  run = Tavren({"info", in});
  EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 3) << run.Out;

  fs::create_directory(dir_.path() / "empty");
  for (const char* command : {"enhance", "info"}) {
    run = Tavren({command, dir_.file("empty")});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err.rfind("tavren: " + dir_.file("empty") + ": is a folder with no pictures", 0),
              0u)
        << run.Err;
  }
  if (!terminalOpens)
    GTEST_SKIP() << "no pseudo-terminal can be opened here (is /dev/pts mounted?), so the "
                    "progress lines, which show on a terminal only, were not compared";
}

TEST_F(CommandTest, SeveralPicturesIntoAFolderAtOnce) {
  std::vector<std::string> args = {"enhance", "-j", "3", "--out-dir", dir_.file("out")};
  fs::create_directory(dir_.file("out"));
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) args.push_back(PhotoCopy(name));
  const test::TProgramResult run = Tavren(args);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err, "");  // no progress when stderr is not a terminal
  for (const char* name : {"acopy.jpg", "bcopy.jpg", "ccopy.jpg", "dcopy.jpg"})
    EXPECT_TRUE(fs::exists(dir_.file("out/" + std::string(name)))) << name;
}

TEST_F(CommandTest, TwoPicturesNeverWriteOneFile) {
  const std::string a = PhotoCopy("photo.jpg");
  fs::create_directory(dir_.file("sub"));
  const std::string b = dir_.file("sub/photo.jpg");
  fs::copy_file(a, b);
  const test::TProgramResult run = Tavren({"enhance", "--out-dir", dir_.file("sub"), a, b});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "tavren: " + b + ": skipped: its output " + dir_.file("sub/photocopy.jpg") +
                         " is also the output of " + a + "\n");
}

TEST_F(CommandTest, InfoPrintsSizeMakeAndModel) {
  TAVREN_REQUIRE_CORPUS();
  const std::string photo = (test::CorpusDir() / "camera/Canon_40D.jpg").string();
  const test::TProgramResult run = Tavren({"info", photo});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, photo + ": 100 x 68, make \"Canon\", model \"Canon EOS 40D\"\n");
  EXPECT_EQ(Tavren({"info", dir_.file("none.jpg")}).Status, 1);
  const std::string bare = (test::CorpusDir() / "camera/Canon_40D_photoshop_import.jpg").string();
  EXPECT_EQ(Tavren({"info", bare}).Out, bare + ": 100 x 77, no camera make or model\n");
}

// What can be known before the work is checked before it.
TEST_F(CommandTest, FailsEarlyWhereItCan) {
  const std::string wide = dir_.file("wide.bmp");
  WriteBmpFile(test::RandomImage(70000, 1, 3), wide);
  test::TProgramResult run = Tavren({"enhance", wide});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("the result would be 70000 x 1 pixels, and a JPEG file holds 65500"),
            std::string::npos)
      << run.Err;
  EXPECT_EQ(Tavren({"enhance", "--fit", "1000x1000", wide}).Status, 0);

  std::ofstream(dir_.file("file")) << "x";
  run = Tavren({"enhance", "--out-dir", dir_.file("file/out"), PhotoCopy("photo.jpg")});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(
      run.Err.rfind("tavren: " + dir_.file("file/out") + ": cannot make the output folder", 0), 0u)
      << run.Err;
}

// Hostile files get a message and exit status 1 from info and enhance,
// quickly and without memory to speak of: pictures declaring more than the
// limit, data far too short for its picture, a pipe, a huge sparse file.
TEST_F(CommandTest, HostileFilesAreRefusedCheaply) {
  auto bomb = [&](const std::string& name, const test::EncodeOptions& options, int side) {
    std::vector<std::uint8_t> bytes =
        test::EncodeWithLibrary(test::RandomImage(32, 32, 1), options);
    std::size_t sof = 2;
    while (!(bytes[sof] == 0xFF && (bytes[sof + 1] & 0xF0) == 0xC0 && bytes[sof + 1] != 0xC4))
      ++sof;
    bytes[sof + 5] = bytes[sof + 7] = static_cast<std::uint8_t>(side >> 8);
    bytes[sof + 6] = bytes[sof + 8] = static_cast<std::uint8_t>(side);
    bytes.resize(bytes.size() / 2);
    test::WriteFileBytes(dir_.file(name), bytes);
    return dir_.file(name);
  };
  const std::vector<std::string> hostile = {
      bomb("arithmetic.jpg", {false, true, false}, 26754),
      bomb("progressive.jpg", {false, false, true}, 26754),
      bomb("arithmetic_within.jpg", {false, true, true}, 14000),
      bomb("huffman_within.jpg", {false, false, false}, 14000)};
  ASSERT_EQ(::mkfifo(dir_.file("pipe.jpg").c_str(), 0644), 0);
  { std::ofstream(dir_.file("sparse.jpg")) << "\xFF\xD8\xFF"; }
  fs::resize_file(dir_.file("sparse.jpg"), 3ull << 30);
  for (const char* command : {"info", "enhance"}) {
    for (const std::string& file : {hostile[0], hostile[1], hostile[2], hostile[3],
                                    dir_.file("pipe.jpg"), dir_.file("sparse.jpg")}) {
      test::TProgramRun bounded;
      bounded.Seconds = 20;
      const test::TProgramResult run = Tavren({command, file}, bounded);
      EXPECT_EQ(run.Status, 1) << command << " " << file;
      EXPECT_EQ(run.Err.rfind("tavren: " + file + ": ", 0), 0u) << run.Err;
      EXPECT_LT(run.MaxResidentKb, 200 * 1024) << command << " " << file;
    }
  }

  const std::string twoMegapixels = dir_.file("two.jpg");
  test::WriteFileBytes(twoMegapixels,
                       test::EncodeWithLibrary(test::RandomImage(2000, 1000, 2), {}));
  EXPECT_EQ(Tavren({"info", twoMegapixels}).Status, 0);
  const test::TProgramResult limited = Tavren({"info", "--max-megapixels", "1", twoMegapixels});
  EXPECT_NE(limited.Err.find("above the limit of 1 megapixels"), std::string::npos) << limited.Err;
  EXPECT_EQ(Tavren({"info", twoMegapixels}, WithVariable("TAVREN_MAX_MEGAPIXELS=1")).Status, 1);
}

// Names and camera texts cannot drive the terminal: their control
// characters are shown escaped, on stdout and stderr alike.
TEST_F(CommandTest, ControlCharactersAreShownNotObeyed) {
  const std::string broken = dir_.file("a\x1b[2J\nb.jpg");
  std::ofstream(broken) << "not a picture";
  test::TProgramResult run = Tavren({"info", broken});
  EXPECT_EQ(run.Err.rfind("tavren: " + dir_.file("a\\x1b[2J\\x0ab.jpg") + ": ", 0), 0u) << run.Err;

  const std::string photo = dir_.file("camera.jpg");
  test::WriteFileBytes(photo, BuildJpegWithExif(EncodeJpeg(test::RandomImage(16, 16, 4)),
                                                "Make\x9b"
                                                "2J\x1b[0m!",
                                                "Caf\xc3\xa9 \xc2\x9b"));
  run = Tavren({"info", photo});
  EXPECT_EQ(run.Out,
            photo + ": 16 x 16, make \"Make\\x9b2J\\x1b[0m!\", model \"Caf\xc3\xa9 \\u009b\"\n");
}

// A save ended by SIGTERM or SIGHUP leaves no temporary file behind.
TEST_F(CommandTest, ASaveEndedBySignalLeavesNoTemporaryFile) {
  const std::string big = dir_.file("big.bmp");
  WriteBmpFile(test::RandomImage(3000, 2000, 5), big);
  for (int signal : {SIGTERM, SIGHUP}) {
    int ended = 0;
    for (int attempt = 0; attempt < 5 && ended == 0; ++attempt) {
      test::TProgramRun run;
      run.DuringRun = [&](pid_t child) {
        // Waits for the temporary file to appear, then signals at once.
        for (int i = 0; i < 200000; ++i) {
          for (const auto& entry : fs::directory_iterator(dir_.path()))
            if (entry.path().filename().string().find(".tavren-save-") != std::string::npos) {
              ::kill(child, signal);
              return;
            }
        }
      };
      const test::TProgramResult result = Tavren(
          {"enhance", "--type", "original", "--force", big, "-o", dir_.file("out.bmp")}, run);
      if (result.Signal == signal) ended = signal;
      for (const auto& entry : fs::directory_iterator(dir_.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tavren-save-"), std::string::npos);
    }
    EXPECT_EQ(ended, signal) << "the save was never caught while writing";
  }
}

// Every photo of the corpus goes through the command; the small ones are
// also checked against the computation in this process.
TEST_F(CommandTest, ClarivexOnEveryCorpusPhoto) {
  TAVREN_REQUIRE_CORPUS();
  const std::string output = dir_.file("out.bmp");
  for (const fs::path& relative : test::CorpusPhotos()) {
    const std::string photo = (test::CorpusDir() / relative).string();
    const test::TProgramResult run =
        Tavren({"enhance", "--clarivex", "normal", photo, "-o", output, "--force"});
    ASSERT_EQ(run.Status, 0) << photo << ": " << run.Err;
    const Image result = LoadPicture(output);
    if (fs::file_size(photo) > 200000) {
      EXPECT_TRUE(ImageHasPixels(result)) << photo;
      continue;
    }
    EXPECT_EQ(result, *ProcessedCopy(LoadPicture(photo), {0, 0, 2, 0})) << photo;
  }
}

std::vector<std::uint8_t> FirstBytes(const std::string& file, std::size_t count) {
  std::vector<std::uint8_t> bytes = test::ReadFileBytes(file);
  bytes.resize(std::min(bytes.size(), count));
  return bytes;
}

// Photos with dates, exposure, places, a turn to upright, an XMP title and
// a stale stored size, saved with and without --keep-metadata, as the EXIF
// tool reads them.
TEST_F(CommandTest, KeepMetadataCarriesDatesExposurePlacesAndTitles) {
  if (!test::HaveExifTool()) GTEST_SKIP() << "exiftool not installed";
  std::vector<std::string> photos = {TAVREN_SAMPLE_PHOTO};  // GPS and a thumbnail
  for (const char* photo : {"hdr/canon_hdr_NO.jpg", "xmp/BlueSquare.jpg", "xmp/no_exif.jpg",
                            "orientation/portrait_6.jpg"})
    if (!test::CorpusDir().empty()) photos.push_back((test::CorpusDir() / photo).string());
  std::vector<std::string> kept, plain;
  for (const std::string& photo : photos) {
    const std::string name = fs::path(photo).stem().string() + "copy.jpg";
    kept.push_back(dir_.file("kept/" + name));
    plain.push_back(dir_.file("plain/" + name));
  }
  const auto enhance = [&](const std::string& option, const std::string& folder) {
    fs::create_directory(dir_.file(folder));
    std::vector<std::string> args = {"enhance", "--fit", "320x320", "--out-dir", dir_.file(folder)};
    if (!option.empty()) args.push_back(option);
    args.insert(args.end(), photos.begin(), photos.end());
    return Tavren(args);
  };
  test::TProgramResult run = enhance("", "plain");
  ASSERT_EQ(run.Status, 0) << run.Err;
  run = enhance("--keep-metadata", "kept");
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err, "");

  const std::vector<std::string> carried = {
      "EXIF:DateTimeOriginal", "EXIF:ExposureTime", "EXIF:FNumber", "EXIF:ISO",
      "GPS:GPSLatitude",       "GPS:GPSLongitude",  "XMP:Title"};
  std::vector<std::string> tags = carried;
  tags.insert(tags.end(),
              {"EXIF:Orientation", "XMP:Orientation", "ThumbnailImage", "ExifIFD:ExifImageWidth",
               "ExifIFD:ExifImageHeight", "File:ImageWidth", "File:ImageHeight", "IFD0:ImageWidth",
               "IFD0:BitsPerSample", "Make", "Model"});
  const auto source = test::ExifToolTable(photos, tags);
  const auto withMetadata = test::ExifToolTable(kept, tags);
  const auto without = test::ExifToolTable(plain, tags);
  ASSERT_EQ(withMetadata.size(), photos.size());
  ASSERT_EQ(without.size(), photos.size());
  const auto value = [&](const std::vector<std::string>& row, const std::string& tag) {
    return row.at(
        static_cast<std::size_t>(std::find(tags.begin(), tags.end(), tag) - tags.begin()));
  };
  std::set<std::string> seen;
  for (std::size_t i = 0; i < photos.size(); ++i) {
    const auto& row = withMetadata[i];
    for (const std::string& tag : carried) {
      EXPECT_EQ(value(row, tag), value(source[i], tag)) << photos[i] << " " << tag;
      EXPECT_EQ(value(without[i], tag), "-") << photos[i] << " " << tag;
      if (value(source[i], tag) != "-") seen.insert(tag);
    }
    for (const char* orientation : {"EXIF:Orientation", "XMP:Orientation"})
      EXPECT_TRUE(value(row, orientation) == "1" || value(row, orientation) == "-") << photos[i];
    EXPECT_EQ(value(row, "ThumbnailImage"), "-") << photos[i];
    EXPECT_EQ(value(row, "ExifIFD:ExifImageWidth"), value(row, "File:ImageWidth")) << photos[i];
    EXPECT_EQ(value(row, "ExifIFD:ExifImageHeight"), value(row, "File:ImageHeight")) << photos[i];
    EXPECT_EQ(value(row, "IFD0:ImageWidth"), "-") << photos[i];
    EXPECT_EQ(value(row, "IFD0:BitsPerSample"), "-") << photos[i];
    // The default writes an empty text for a make the source lacks.
    for (const char* text : {"Make", "Model"})
      EXPECT_EQ(value(row, text), value(without[i], text).empty() ? "-" : value(without[i], text))
          << photos[i];
    // Only the EXIF segment differs: the header and the banner are the default's.
    EXPECT_EQ(FirstBytes(kept[i], 107), FirstBytes(plain[i], 107)) << photos[i];
  }
  EXPECT_EQ(test::ExifToolIccProfiles(kept), test::ExifToolIccProfiles(photos));
  if (!test::CorpusDir().empty()) {
    EXPECT_EQ(seen.size(), carried.size());
  }
}

// A source whose EXIF block Exiv2 cannot read: the default copy, a warning,
// and success.
TEST_F(CommandTest, KeepMetadataFromAnUnreadableBlockWarnsAndSavesTheDefaultCopy) {
  std::vector<std::uint8_t> bytes = test::ReadFileBytes(SmallPhoto());
  const std::vector<std::uint8_t> brokenExif = {0xFF, 0xE1, 0x00, 0x10, 'E',  'x', 'i', 'f', 0,
                                                0,    'X',  'X',  0x00, 0x2A, 0,   0,   0,   8};
  bytes.insert(bytes.begin() + 2, brokenExif.begin(), brokenExif.end());
  const std::string photo = dir_.file("broken.jpg");
  test::WriteFileBytes(photo, bytes);

  const test::TProgramResult kept =
      Tavren({"enhance", "--keep-metadata", photo, "-o", dir_.file("kept.jpg")});
  EXPECT_EQ(kept.Status, 0) << kept.Err;
  EXPECT_EQ(kept.Err.rfind("tavren: " + photo + ": metadata not kept: ", 0), 0u) << kept.Err;
  EXPECT_EQ(std::count(kept.Err.begin(), kept.Err.end(), '\n'), 1) << kept.Err;
  ASSERT_EQ(Tavren({"enhance", photo, "-o", dir_.file("plain.jpg")}).Status, 0);
  EXPECT_EQ(test::ReadFileBytes(dir_.file("kept.jpg")),
            test::ReadFileBytes(dir_.file("plain.jpg")));
}

// The same pixels as a 24-bit BMP and as each losslessly stored format
// give the same processed bytes.
TEST_F(CommandTest, EveryLosslessFormatEnhancesAsItsBitmapDoes) {
  TAVREN_REQUIRE_CORPUS();
  TAVREN_REQUIRE_PICTURE_TOOLS();
  for (const char* photo : {"camera/Canon_40D.jpg", "gps/DSCN0021.jpg"}) {
    SCOPED_TRACE(photo);
    const std::string bitmap = dir_.file("same.bmp");
    ASSERT_TRUE(test::MakePicture((test::CorpusDir() / photo).string(), bitmap, "-type truecolor"));
    ASSERT_EQ(Tavren({"enhance", "--force", bitmap, "-o", dir_.file("bmp.out.bmp")}).Status, 0);
    const std::vector<std::uint8_t> expected = ReadFileBytes(dir_.file("bmp.out.bmp"));
    const struct {
      const char* File;
      const char* Options;
    } formats[] = {{"same.png", ""},
                   {"same16.png", "-depth 16"},
                   {"same.tif", "-compress lzw"},
                   {"same16.tif", "-depth 16 -compress lzw"},
                   {"same.webp", ""}};
    for (const auto& format : formats) {
      const std::string file = dir_.file(format.File);
      const std::string source =
          std::string(format.File) == "same.webp" ? dir_.file("same.png") : bitmap;
      ASSERT_TRUE(test::MakePicture(source, file, format.Options)) << format.File;
      const auto run = Tavren({"enhance", "--force", file, "-o", dir_.file("out.bmp")});
      ASSERT_EQ(run.Status, 0) << run.Err;
      EXPECT_EQ(ReadFileBytes(dir_.file("out.bmp")), expected) << format.File;
    }
  }
}

TEST_F(CommandTest, HeicCameraReachesInfoAndTheSavedCopy) {
  TAVREN_REQUIRE_PICTURE_TOOLS();
  const std::string heic = dir_.file("photo.heic");
  ASSERT_TRUE(test::MakePicture(SmallPhoto(), heic));
  const auto info = Tavren({"info", heic});
  EXPECT_EQ(info.Status, 0) << info.Err;
  EXPECT_EQ(info.Out, heic + ": 100 x 68, make \"Canon\", model \"Canon EOS 40D\"\n");
  const auto run = Tavren({"enhance", heic});
  ASSERT_EQ(run.Status, 0) << run.Err;
  TExif exif;
  exif.ReadFromFile(dir_.file("photocopy.jpg"));
  EXPECT_EQ(exif.Make, "Canon");
  EXPECT_EQ(exif.Model, "Canon EOS 40D");
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
  }
  return ~crc;
}

void PutBigEndian(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// A PNG whose header (its checksum mended) declares another size.
std::vector<std::uint8_t> PngOfSize(std::vector<std::uint8_t> png, std::uint32_t width,
                                    std::uint32_t height) {
  PutBigEndian(png, 16, width);
  PutBigEndian(png, 20, height);
  PutBigEndian(png, 29, Crc32(png.data() + 12, 17));
  return png;
}

// A grey TIFF of one uncompressed strip that declares width x height and
// holds 16 bytes.
std::vector<std::uint8_t> TiffOfSize(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 8, 0};
  const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
    const std::uint8_t bytes[12] = {std::uint8_t(tag),
                                    std::uint8_t(tag >> 8),
                                    std::uint8_t(type),
                                    0,
                                    1,
                                    0,
                                    0,
                                    0,
                                    std::uint8_t(value),
                                    std::uint8_t(value >> 8),
                                    std::uint8_t(value >> 16),
                                    std::uint8_t(value >> 24)};
    tiff.insert(tiff.end(), bytes, bytes + 12);
  };
  entry(256, 4, width);
  entry(257, 4, height);
  entry(258, 3, 8);
  entry(259, 3, 1);
  entry(262, 3, 1);
  entry(273, 4, 8 + 2 + 8 * 12 + 4);
  entry(278, 4, height);
  entry(279, 4, width * height);
  tiff.resize(tiff.size() + 4 + 16);
  return tiff;
}

// The first box of the given type, its content behind size and type
// patched with value from the given position on.
std::vector<std::uint8_t> Patched(std::vector<std::uint8_t> bytes, const std::string& box,
                                  std::size_t at, std::uint32_t value, int count) {
  const auto found = std::search(bytes.begin(), bytes.end(), box.begin(), box.end());
  if (found == bytes.end()) return {};
  const std::size_t start = static_cast<std::size_t>(found - bytes.begin()) + box.size() + at;
  for (int i = 0; i < count; ++i)
    PutBigEndian(bytes, start + 4 * static_cast<std::size_t>(i), value);
  return bytes;
}

// Damaged files of every kind: a message naming the file, exit status 1,
// and no allocation for the size a header claims.  A header that declares
// too much is refused by info as well.
TEST_F(CommandTest, MalformedFilesOfEveryKindAreRefused) {
  TAVREN_REQUIRE_PICTURE_TOOLS();
  TAVREN_REQUIRE_TOOL("img2webp");
  std::map<std::string, std::vector<std::uint8_t>> good;
  for (const char* name : {"good.png", "good.tif", "good.webp", "good.heic"}) {
    ASSERT_TRUE(test::MakePicture(SmallPhoto(), dir_.file(name)));
    good[name] = ReadFileBytes(dir_.file(name));
  }
  ASSERT_TRUE(test::RunQuietly("img2webp " + dir_.file("good.png") + " " + dir_.file("good.png") +
                               " -o " + dir_.file("anim.webp")));
  std::vector<std::uint8_t> animation = ReadFileBytes(dir_.file("anim.webp"));
  for (std::size_t i = 24; i < 30; ++i) animation[i] = 0xFF;  // canvas of 2^24 x 2^24

  std::map<std::string, std::vector<std::uint8_t>> bad = {
      {"huge.png", PngOfSize(good["good.png"], 100000, 100000)},
      {"hollow.png", PngOfSize(good["good.png"], 12000, 12000)},
      {"huge.tif", TiffOfSize(60000, 60000)},
      {"hollow.tif", TiffOfSize(12000, 12000)},
      {"huge.webp", animation},
      {"huge.heic", Patched(good["good.heic"], "ispe", 4, 0x7FFFFFFF, 2)}};
  for (const auto& [name, bytes] : good)
    bad["cut_" + name] =
        std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + bytes.size() * 3 / 5);
  for (const auto& [name, bytes] : bad) {
    ASSERT_FALSE(bytes.empty()) << name;
    WriteFileAtomically(dir_.file(name), bytes);
    // info reads headers alone: a cut file's header may still be whole.
    const bool cut = name.rfind("cut_", 0) == 0;
    for (const char* command : {"info", "enhance"}) {
      if (cut && std::string(command) == "info") continue;
      const auto run = Tavren({command, dir_.file(name)});
      EXPECT_EQ(run.Status, 1) << name;
      EXPECT_EQ(run.Err.rfind("tavren: " + dir_.file(name) + ": ", 0), 0u) << run.Err;
      EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
    }
  }
}

}  // namespace
}  // namespace tavren
