// Runs the built `tavren` program as a user would.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "enhance/base_image.h"
#include "enhance/process_types.h"
#include "picture_io/picture_files.h"
#include "support/test_support.h"

namespace tavren {
namespace {

namespace fs = std::filesystem;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

RunResult Tavren(const std::vector<std::string>& args) {
  static test::TempDir capture;
  static int serial = 0;
  const std::string number = std::to_string(serial++);
  const fs::path out = capture.path() / ("out" + number);
  const fs::path err = capture.path() / ("err" + number);
  std::string command = Quoted(TAVREN_CLI_PATH);
  for (const std::string& arg : args) command.append(" ").append(Quoted(arg));
  command.append(" >").append(Quoted(out.string()));
  command.append(" 2>").append(Quoted(err.string())).append(" </dev/null");
  RunResult result;
  const int raw = std::system(command.c_str());
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadText(out);
  result.err = ReadText(err);
  return result;
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
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"enhance"}, {"enhance", "--type", "x", "a.jpg"},
                                             {"resize", "a.jpg"}}) {
    const RunResult run = Tavren(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage: tavren enhance"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.rfind("tavren: ", 0), 0u) << run.err;
  }
  const RunResult help = Tavren({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("tavren info PICTURE"), std::string::npos);
  const RunResult version = Tavren({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("tavren ") + TAVREN_VERSION_TEXT + "\n");
}

TEST_F(CommandTest, BadFilesAreNamedAndTheOthersStillDone) {
  const std::string good = PhotoCopy("good.jpg");
  const std::string broken = dir_.file("broken.jpg");
  std::ofstream(broken) << "not a picture";
  const std::string missing = dir_.file("missing.jpg");
  const std::string text = dir_.file("notes.txt");
  std::ofstream(text) << "hello";

  const RunResult run = Tavren({"enhance", broken, good, missing, text});
  EXPECT_EQ(run.status, 1);
  for (const std::string& bad : {broken, missing, text})
    EXPECT_NE(run.err.find("tavren: " + bad + ": "), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(good), std::string::npos) << run.err;
  EXPECT_TRUE(fs::exists(dir_.file("goodcopy.jpg")));
  EXPECT_FALSE(fs::exists(dir_.file("brokencopy.jpg")));
}

TEST_F(CommandTest, AnExistingOutputIsKeptWithoutForce) {
  const std::string photo = PhotoCopy("photo.jpg");
  const std::string output = dir_.file("photocopy.jpg");
  std::ofstream(output) << "keep me";

  RunResult run = Tavren({"enhance", photo});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("tavren: " + output + ": "), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(output), "keep me");

  run = Tavren({"enhance", "--force", photo});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(LoadPicture(output).Width(), LoadPicture(photo).Width());
}

TEST_F(CommandTest, ResultsEqualTheEngineComputation) {
  const std::string photo = PhotoCopy("photo.jpg");
  const Image picture = LoadPicture(photo);

  RunResult run = Tavren({"enhance", "--type", "deep", photo, "-o", dir_.file("deep.bmp")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(LoadPicture(dir_.file("deep.bmp")), *ProcessedCopy(picture, TypePresets[ptDeep]));

  run = Tavren({"enhance", "--lumora", "weak", "--artifact-suppression", "--clarivex", "strong",
                "--color-distortion-suppression", photo, "-o", dir_.file("manual.bmp")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(LoadPicture(dir_.file("manual.bmp")), *ProcessedCopy(picture, {1, 1, 3, 1}));

  // --fit reduces as the window does before processing.
  run = Tavren({"enhance", "--fit", "60x50", photo, "-o", dir_.file("fit.bmp")});
  ASSERT_EQ(run.status, 0) << run.err;
  const TBaseImage base = MakeBaseImage(picture, 50, 60);
  ASSERT_TRUE(base.reduced);
  EXPECT_EQ(LoadPicture(dir_.file("fit.bmp")), *ProcessedCopy(*base.image, TypePresets[ptNormal]));
}

TEST_F(CommandTest, SeveralPicturesIntoAFolderAtOnce) {
  std::vector<std::string> args = {"enhance", "-j", "3", "--out-dir", dir_.file("out")};
  fs::create_directory(dir_.file("out"));
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) args.push_back(PhotoCopy(name));
  const RunResult run = Tavren(args);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");  // no progress when stderr is not a terminal
  for (const char* name : {"acopy.jpg", "bcopy.jpg", "ccopy.jpg", "dcopy.jpg"})
    EXPECT_TRUE(fs::exists(dir_.file("out/" + std::string(name)))) << name;
}

TEST_F(CommandTest, TwoPicturesNeverWriteOneFile) {
  const std::string a = PhotoCopy("photo.jpg");
  fs::create_directory(dir_.file("sub"));
  const std::string b = dir_.file("sub/photo.jpg");
  fs::copy_file(a, b);
  const RunResult run = Tavren({"enhance", "--out-dir", dir_.file("sub"), a, b});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("also the output of"), std::string::npos) << run.err;
}

TEST_F(CommandTest, InfoPrintsSizeMakeAndModel) {
  TAVREN_REQUIRE_CORPUS();
  const std::string photo = (test::CorpusDir() / "camera/Canon_40D.jpg").string();
  const RunResult run = Tavren({"info", photo});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, photo + ": 100 x 68, make \"Canon\", model \"Canon EOS 40D\"\n");
  EXPECT_EQ(Tavren({"info", dir_.file("none.jpg")}).status, 1);
}

// Every photo of the corpus goes through the command; the small ones are
// also checked against the computation in this process.
TEST_F(CommandTest, ClarivexOnEveryCorpusPhoto) {
  TAVREN_REQUIRE_CORPUS();
  const std::string output = dir_.file("out.bmp");
  for (const fs::path& relative : test::CorpusPhotos()) {
    const std::string photo = (test::CorpusDir() / relative).string();
    const RunResult run = Tavren({"enhance", "--clarivex", "normal", photo, "-o", output, "--force"});
    ASSERT_EQ(run.status, 0) << photo << ": " << run.err;
    const Image result = LoadPicture(output);
    if (fs::file_size(photo) > 200000) {
      EXPECT_TRUE(ImageHasPixels(result)) << photo;
      continue;
    }
    EXPECT_EQ(result, *ProcessedCopy(LoadPicture(photo), {0, 0, 2, 0})) << photo;
  }
}

}  // namespace
}  // namespace tavren
