#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

#include "histogram/hist.h"
#include "histogram/match.h"
#include "lumora/limits.h"
#include "lumora/lumora.h"
#include "lumora/restore_rows.h"
#include "picture_io/picture_files.h"
#include "support/test_support.h"
#include "system/error.h"

namespace tavren {
namespace {

constexpr TLumoraParams kStandard{0, 0, 0, 0, 0.5, 51, 51};
constexpr TLumoraParams kArtifactSuppression{0, 0, 100, 0, 0.5, 11, 21};

// A dim, hazy picture with smooth gradients, a bright patch and some noise:
// histograms with a shape worth correcting, small enough to be quick.
Image PhotoLike(std::int32_t width, std::int32_t height, std::uint32_t seed) {
  Image image(width, height);
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 4.0);
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* p = image.Row(y);
    for (std::int32_t x = 0; x < width; ++x, p += 3) {
      const double fx = static_cast<double>(x) / width;
      const double fy = static_cast<double>(y) / height;
      const bool patch = fx > 0.6 && fy < 0.3;
      const double base = patch ? 200 : 60 + 50 * fx + 30 * std::sin(6 * fy);
      const double value[3] = {base * 0.8, base * 0.95, base * 1.1};  // blue, green, red
      for (int b = 0; b < 3; ++b)
        p[b] = static_cast<std::uint8_t>(std::clamp(value[b] + noise(random), 0.0, 255.0));
    }
  }
  return image;
}

Image Uniform(std::int32_t width, std::int32_t height, std::uint8_t red, std::uint8_t green,
              std::uint8_t blue) {
  Image image(width, height);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      image.Row(y)[3 * x] = blue;
      image.Row(y)[3 * x + 1] = green;
      image.Row(y)[3 * x + 2] = red;
    }
  return image;
}

std::int64_t TotalOf(const THistogram& h) {
  std::int64_t total = 0;
  for (int i = h.Low; i <= h.High; ++i) total += h[i];
  return total;
}

std::int64_t DistanceBetween(const Image& a, const Image& b) {
  std::int64_t distance = 0;
  for (std::size_t i = 0; i < a.ByteSize(); ++i) distance += std::abs(a.Data()[i] - b.Data()[i]);
  return distance;
}

TEST(LumoraProcess, StrengthsOutsideOneToThreeLeaveThePictureAlone) {
  const Image original = PhotoLike(40, 30, 1);
  TLumora lumora;
  for (std::uint8_t strength : {0, 4, 99, 255}) {
    Image image = original;
    lumora.Process(image, strength, kStandard);
    EXPECT_EQ(image, original) << "strength " << int(strength);
  }
}

TEST(LumoraProcess, EachStrengthChangesAPictureThatNeedsIt) {
  const Image original = PhotoLike(40, 30, 2);
  TLumora lumora;
  Image weak = original, normal = original, strong = original;
  lumora.Process(weak, 1, kStandard);
  lumora.Process(normal, 2, kStandard);
  lumora.Process(strong, 3, kStandard);
  EXPECT_NE(weak, original);
  EXPECT_NE(normal, weak);
  EXPECT_NE(strong, normal);
}

TEST(LumoraProcess, StrongIsFiveNormalPasses) {
  const Image original = PhotoLike(48, 36, 3);
  TLumora lumora;
  Image strong = original;
  lumora.Process(strong, 3, kArtifactSuppression);
  Image stepwise = original;
  for (int i = 0; i < 5; ++i) lumora.Process(stepwise, 2, kArtifactSuppression);
  EXPECT_EQ(strong, stepwise);
}

TEST(LumoraProcess, UniformPicturesComeBackUnchanged) {
  TLumora lumora;
  const Image pictures[] = {Uniform(1, 1, 10, 200, 90),   Uniform(1, 1, 0, 0, 0),
                            Uniform(7, 5, 255, 255, 255), Uniform(7, 5, 128, 128, 128),
                            Uniform(16, 9, 0, 128, 255),  Uniform(3, 40, 1, 254, 77)};
  for (const Image& picture : pictures)
    for (std::uint8_t strength : {1, 2, 3})
      for (const TLumoraParams& params : {kStandard, kArtifactSuppression}) {
        Image image = picture;
        lumora.Process(image, strength, params);
        EXPECT_EQ(image, picture) << picture.Width() << "x" << picture.Height() << " strength "
                                  << int(strength);
      }
}

TEST(LumoraProcess, TinyAndEmptyPicturesAreHandled) {
  TLumora lumora;
  Image empty;
  lumora.Process(empty, 3, kStandard);
  EXPECT_EQ(empty, Image());
  for (std::uint32_t seed = 0; seed < 4; ++seed) {
    Image one = test::RandomImage(1, 1, seed);
    lumora.Process(one, 3, kStandard);
    EXPECT_EQ(one.Width(), 1);
    Image two = test::RandomImage(2, 1, seed);
    lumora.Process(two, 2, kArtifactSuppression);
    EXPECT_EQ(two.Width(), 2);
  }
}

TEST(LumoraPass, ChannelTargetsHoldExactlyThePixelCountOnTheChannelsOwnLevels) {
  TLumora lumora;
  const Image pictures[] = {PhotoLike(40, 30, 4), test::RandomImage(33, 21, 9),
                            PhotoLike(13, 7, 5)};
  for (const Image& picture : pictures)
    for (std::int32_t amount : {40, 100}) {
      Image image = picture;
      lumora.RunPass(image, amount, kStandard);
      THistSet source;
      THist().Gather(picture, source);
      const std::int64_t n = std::int64_t{picture.Width()} * picture.Height();
      for (int c : {hcRed, hcGreen, hcBlue}) {
        const THistogram& target = lumora.Targets()[c];
        EXPECT_TRUE(target.Ready);
        const std::int64_t total = TotalOf(target);
        if (total != 0) {
          EXPECT_EQ(total, n) << "channel " << c << " amount " << amount;
        }
        // A channel's share of the intensity target lies on the levels the
        // channel uses, and the protections only pull towards its counts.
        for (int i = 0; i <= 255; ++i) {
          if (source[c][i] == 0) {
            EXPECT_EQ(target[i], 0) << "channel " << c << " level " << i;
          }
        }
      }
      EXPECT_EQ(lumora.LedgeData.Left[0], 0);
      EXPECT_EQ(lumora.LedgeData.Right[0], 0);
    }
}

TEST(LumoraPass, WeakBlendDiffersFromTheFullReference) {
  const Image original = PhotoLike(40, 30, 6);
  TLumora lumora;
  Image weak = original, full = original;
  lumora.RunPass(weak, 40, kStandard);
  lumora.RunPass(full, 100, kStandard);
  EXPECT_NE(weak, full);
}

TEST(LumoraPass, ArtifactSuppressionKeepsCloserToTheOriginal) {
  const Image original = PhotoLike(64, 48, 7);
  TLumora lumora;
  Image standard = original, suppressed = original;
  lumora.Process(standard, 2, kStandard);
  lumora.Process(suppressed, 2, kArtifactSuppression);
  EXPECT_NE(standard, suppressed);
  EXPECT_LT(DistanceBetween(suppressed, original), DistanceBetween(standard, original));
}

// The photos of the shared corpus small enough to be small pictures too.
std::vector<std::filesystem::path> SmallCorpusPhotos() {
  std::vector<std::filesystem::path> small;
  for (const auto& relative : test::CorpusPhotos()) {
    const auto path = test::CorpusDir() / relative;
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) < 60000 && !ec) small.push_back(path);
  }
  return small;
}

// One pass made of the plain steps, one after the other over the whole
// picture: the pass must give their bytes whichever way it goes about them.
Image PassFromPlainSteps(const Image& photo, const THistSet& targets, const TLumoraParams& params,
                         bool& cutsApplied) {
  Image image = photo;
  MatchHistogram(image, targets);
  cutsApplied = PlanChangeCuts(MeasureChanges(image, photo, 0, image.Height()), params.DDVILimit,
                               params.DDVSLimit)
                    .Any;
  LimitChanges(image, photo, params.DDVILimit, params.DDVSLimit);
  RestoreColorRatios(image, photo);
  return image;
}

TEST(LumoraCorpus, SmallPhotosAtEveryStrengthAndPreset) {
  TAVREN_REQUIRE_CORPUS();
  TLumora lumora;
  int processed = 0;
  int passesCut = 0, passesUncut = 0;
  for (const auto& path : SmallCorpusPhotos()) {
    Image photo;
    try {
      photo = LoadPicture(path.string());
    } catch (const TavrenError&) {
      continue;  // the decoder's own tests judge the files it refuses
    }
    if (std::int64_t{photo.Width()} * photo.Height() > 100000) continue;
    for (std::uint8_t strength : {1, 2, 3})
      for (const TLumoraParams& params : {kStandard, kArtifactSuppression}) {
        Image image = photo;
        lumora.Process(image, strength, params);
        ASSERT_EQ(image.Width(), photo.Width()) << path;
        ASSERT_EQ(image.Height(), photo.Height()) << path;
        if (strength == 3) continue;
        bool cut = false;
        ASSERT_EQ(image, PassFromPlainSteps(photo, lumora.Targets(), params, cut))
            << path << ", strength " << int(strength) << ", limits " << params.DDVILimit;
        ++(cut ? passesCut : passesUncut);
      }
    ++processed;
  }
  EXPECT_GT(processed, 10);
  // Both kinds of pass were compared.
  EXPECT_GT(passesCut, 0);
  EXPECT_GT(passesUncut, 0);
}

TEST(LumoraCorpus, StrongIsFiveNormalPassesOnAPhoto) {
  TAVREN_REQUIRE_CORPUS();
  const Image photo = LoadPicture((test::CorpusDir() / "exif-org" / "canon-ixus.jpg").string());
  TLumora lumora;
  Image strong = photo;
  lumora.Process(strong, 3, kStandard);
  Image stepwise = photo;
  for (int i = 0; i < 5; ++i) lumora.Process(stepwise, 2, kStandard);
  EXPECT_EQ(strong, stepwise);
  EXPECT_NE(strong, photo);
}

TEST(LumoraCorpus, LargestPhotoInOneNormalPass) {
  TAVREN_REQUIRE_CORPUS();
  const Image photo = LoadPicture((test::CorpusDir() / "mobile" / "HMD_Nokia_8.3_5G.jpg").string());
  ASSERT_GT(std::int64_t{photo.Width()} * photo.Height(), 9000000);
  TLumora lumora;
  Image image = photo;
  lumora.RunPass(image, 100, kStandard);
  const std::int64_t n = std::int64_t{photo.Width()} * photo.Height();
  for (int c : {hcRed, hcGreen, hcBlue}) EXPECT_EQ(TotalOf(lumora.Targets()[c]), n);
  EXPECT_NE(image, photo);
}

}  // namespace
}  // namespace tavren
