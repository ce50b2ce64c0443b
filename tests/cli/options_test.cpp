#include <gtest/gtest.h>

#include "cli/options.h"

namespace tavren::cli {
namespace {

TParseResult Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

TCliOptions Parsed(std::vector<std::string> args) {
  const TParseResult result = ParseCommandLine(args);
  EXPECT_TRUE(result.Ok) << result.Error;
  return result.Options;
}

TEST(ParseCommandLine, EnhanceDefaultsToNormalOnTheFullPicture) {
  const TCliOptions options = Parsed({"enhance", "a.jpg", "b.bmp"});
  EXPECT_EQ(options.Command, TCommand::Enhance);
  EXPECT_EQ(options.Pictures, (std::vector<std::string>{"a.jpg", "b.bmp"}));
  EXPECT_FALSE(options.Manual);
  EXPECT_EQ(options.Preset(), TypePresets[ptNormal]);
  EXPECT_FALSE(options.Fit);
  EXPECT_FALSE(options.Force);
  EXPECT_EQ(options.Jobs, 1);
}

TEST(ParseCommandLine, TypesByName) {
  EXPECT_EQ(Parsed({"enhance", "--type", "original", "a.jpg"}).Preset(), TypePresets[ptOriginal]);
  EXPECT_EQ(Parsed({"enhance", "--type=light", "a.jpg"}).Preset(), TypePresets[ptLight]);
  EXPECT_EQ(Parsed({"enhance", "a.jpg", "--type", "Deep"}).Preset(), TypePresets[ptDeep]);
  EXPECT_FALSE(Parse({"enhance", "--type", "strong", "a.jpg"}).Ok);
  EXPECT_FALSE(Parse({"enhance", "a.jpg", "--type"}).Ok);
}

TEST(ParseCommandLine, AnyStrengthOrSuppressionMakesAManualSettingWithTheRestOff) {
  TCliOptions options = Parsed({"enhance", "--clarivex", "normal", "a.jpg"});
  EXPECT_TRUE(options.Manual);
  EXPECT_EQ(options.Preset(), (TTypePreset{0, 0, 2, 0}));

  options = Parsed({"enhance", "--lumora=strong", "--artifact-suppression", "a.jpg"});
  EXPECT_EQ(options.Preset(), (TTypePreset{3, 1, 0, 0}));

  options = Parsed({"enhance", "--color-distortion-suppression", "a.jpg"});
  EXPECT_TRUE(options.Manual);
  EXPECT_EQ(options.Preset(), (TTypePreset{0, 0, 0, 1}));

  // Normal's settings by hand are Normal.
  options = Parsed({"enhance", "--lumora", "normal", "--clarivex", "normal", "a.jpg"});
  EXPECT_EQ(options.Preset(), TypePresets[ptNormal]);

  EXPECT_FALSE(Parse({"enhance", "--lumora", "max", "a.jpg"}).Ok);
  EXPECT_FALSE(Parse({"enhance", "--artifact-suppression=1", "a.jpg"}).Ok);
  EXPECT_FALSE(Parse({"enhance", "--type", "deep", "--lumora", "weak", "a.jpg"}).Ok);
}

TEST(ParseCommandLine, FitJobsAndOutputs) {
  TCliOptions options = Parsed({"enhance", "--fit", "1920x1080", "-j", "4", "--force", "--out-dir",
                                "out", "a.jpg", "b.jpg"});
  EXPECT_TRUE(options.Fit);
  EXPECT_EQ(options.FitWidth, 1920);
  EXPECT_EQ(options.FitHeight, 1080);
  EXPECT_EQ(options.Jobs, 4);
  EXPECT_TRUE(options.Force);
  EXPECT_EQ(options.OutputDir, "out");

  options = Parsed({"enhance", "-j2", "-oresult.BMP", "a.jpg"});
  EXPECT_EQ(options.Jobs, 2);
  EXPECT_EQ(options.OutputFile, "result.BMP");
  EXPECT_EQ(Parsed({"enhance", "--fit=800X600", "a.jpg"}).FitHeight, 600);

  for (const char* fit :
       {"1920", "x1080", "1920x", "0x100", "-5x100", "19 20x10", "1920x1080x1", "99999999999x1"})
    EXPECT_FALSE(Parse({"enhance", "--fit", fit, "a.jpg"}).Ok) << fit;
  for (const char* jobs : {"0", "-1", "two", "257", ""})
    EXPECT_FALSE(Parse({"enhance", "-j", jobs, "a.jpg"}).Ok) << jobs;
}

TEST(ParseCommandLine, OutputRules) {
  EXPECT_FALSE(Parse({"enhance", "-o", "x.jpg", "a.jpg", "b.jpg"}).Ok);
  EXPECT_FALSE(Parse({"enhance", "-o", "x.jpg", "--out-dir", "d", "a.jpg"}).Ok);
  EXPECT_FALSE(Parse({"enhance", "-o", "x.png", "a.jpg"}).Ok);
  EXPECT_FALSE(Parse({"enhance", "-o", "", "a.jpg"}).Ok);
  EXPECT_TRUE(Parse({"enhance", "-o", "x.jpeg", "a.jpg"}).Ok);
  // A BMP file holds no metadata to keep.
  EXPECT_TRUE(Parsed({"enhance", "--keep-metadata", "-o", "x.JPG", "a.jpg"}).KeepMetadata);
  EXPECT_FALSE(Parse({"enhance", "--keep-metadata", "-o", "x.Bmp", "a.jpg"}).Ok);
  EXPECT_FALSE(Parse({"enhance", "--keep-metadata=yes", "a.jpg"}).Ok);
  EXPECT_FALSE(Parsed({"enhance", "a.jpg"}).KeepMetadata);
}

TEST(ParseCommandLine, UsageErrors) {
  EXPECT_FALSE(Parse({}).Ok);
  EXPECT_FALSE(Parse({"sharpen", "a.jpg"}).Ok);
  EXPECT_FALSE(Parse({"enhance"}).Ok);
  EXPECT_FALSE(Parse({"info"}).Ok);
  EXPECT_FALSE(Parse({"enhance", "--frobnicate", "a.jpg"}).Ok);
  EXPECT_FALSE(Parse({"info", "--force", "a.jpg"}).Ok);
  const TParseResult unknown = Parse({"enhance", "--bright", "a.jpg"});
  EXPECT_NE(unknown.Error.find("--bright"), std::string::npos);
}

TEST(ParseCommandLine, HelpVersionAndPicturesThatLookLikeOptions) {
  EXPECT_EQ(Parsed({"--help"}).Command, TCommand::Help);
  EXPECT_EQ(Parsed({"-h"}).Command, TCommand::Help);
  EXPECT_EQ(Parsed({"enhance", "--help"}).Command, TCommand::Help);
  EXPECT_EQ(Parsed({"--version"}).Command, TCommand::Version);
  EXPECT_EQ(Parsed({"enhance", "--", "--odd.jpg"}).Pictures,
            (std::vector<std::string>{"--odd.jpg"}));
  EXPECT_EQ(Parsed({"info", "a.jpg"}).Command, TCommand::Info);
}

TEST(OutputNames, KindByExtension) {
  EXPECT_EQ(OutputKindOf("a/b.JPG"), TOutputKind::Jpeg);
  EXPECT_EQ(OutputKindOf("b.jpeg"), TOutputKind::Jpeg);
  EXPECT_EQ(OutputKindOf("b.Bmp"), TOutputKind::Bmp);
  EXPECT_EQ(OutputKindOf("b.jfif"), TOutputKind::Unsupported);
  EXPECT_EQ(OutputKindOf("jpg"), TOutputKind::Unsupported);
}

TEST(OutputNames, CopyWithJpgExtensionBesideThePictureOrInTheFolder) {
  TCliOptions options;
  EXPECT_EQ(OutputPathFor(options, "pics/IMG_0412.JPG"), "pics/IMG_0412copy.JPG");
  EXPECT_EQ(OutputPathFor(options, "pics/photo.bmp"), "pics/photocopy.jpg");
  EXPECT_EQ(OutputPathFor(options, "photo.jpeg"), "photocopy.jpg");
  EXPECT_EQ(OutputPathFor(options, "my.dir/photo"), "my.dir/photocopy.jpg");
  options.OutputDir = "out";
  EXPECT_EQ(OutputPathFor(options, "pics/photo.jpg"), "out/photocopy.jpg");
  options.OutputFile = "x.bmp";
  EXPECT_EQ(OutputPathFor(options, "pics/photo.jpg"), "x.bmp");
}

}  // namespace
}  // namespace tavren::cli
