// The whole processing gives the same bytes on any number of threads, and
// with the wide kernels as pixel by pixel: every corpus photo (reduced as
// the window reduces it to its view, to keep the run short), every type and
// a manual setting with both suppressions on.
#include <gtest/gtest.h>

#include "enhance/base_image.h"
#include "histogram/level_census.h"
#include "imaging/thread_pool.h"
#include "imaging/wide_kernels.h"
#include "picture_io/picture_files.h"
#include "support/test_support.h"
#include "workflow/process_engine.h"

namespace tavren {
namespace {

constexpr TTypePreset kManualBothSuppressions{3, 1, 3, 1};

std::vector<TTypePreset> PresetsToCheck() {
  return {TypePresets[ptLight], TypePresets[ptNormal], TypePresets[ptDeep],
          kManualBothSuppressions};
}

Image Reduced(const std::filesystem::path& photo) {
  const Image picture = LoadPicture((test::CorpusDir() / photo).string());
  TBaseImage base = MakeBaseImage(picture, 120, 160);
  return base.Picture == nullptr ? Image() : std::move(*base.Picture);
}

Image Processed(const Image& picture, const TTypePreset& preset) {
  Image image = picture;
  ProcessWithPreset(image, preset);
  return image;
}

TEST(SameBytesOnEveryCore, EveryCorpusPhotoAndType) {
  TAVREN_REQUIRE_CORPUS();
  ThreadPool serialPool(1);
  std::vector<std::unique_ptr<ThreadPool>> pools;
  for (int threads : {2, 3, 7}) pools.push_back(std::make_unique<ThreadPool>(threads));
  for (const auto& photo : test::CorpusPhotos()) {
    const Image picture = Reduced(photo);
    for (const TTypePreset& preset : PresetsToCheck()) {
      Image expected;
      {
        ScopedBanding serial({&serialPool, 1});
        const ScopedPlainLoops plainLoops;
        expected = Processed(picture, preset);
      }
      for (const auto& pool : pools) {
        for (int bands : {0, pool->Size()}) {
          ScopedBanding banding({pool.get(), bands});
          ASSERT_EQ(Processed(picture, preset), expected)
              << photo << ", Lumora " << int(preset.LumoraStrength) << ", Clarivex "
              << int(preset.ClarivexStrength) << ", " << pool->Size() << " threads, bands "
              << bands;
        }
      }
    }
  }
}

TEST(SameBytesOnEveryCore, CensusCountedWhileDecodingIsThePictures) {
  // Upright photos are counted while decoding; turned ones (and a single
  // thread) leave it to the processing.  Either way the bytes stay.
  std::vector<std::string> paths{test::TestDataPath("jpeg_colour.jpg"),
                                 test::TestDataPath("jpeg_cmyk.jpg")};
  for (const auto& photo : test::CorpusPhotos())
    paths.push_back((test::CorpusDir() / photo).string());
  int counted = 0;
  for (int threads : {1, 2, 3}) {
    ThreadPool pool(threads);
    ScopedBanding banding({&pool, 0});
    for (const std::string& path : paths) {
      TLoadedPicture loaded = LoadPictureToProcess(path);
      ASSERT_EQ(loaded.Picture, LoadPicture(path)) << path;
      if (!loaded.Counted) continue;
      ++counted;
      TLevelCensus afterwards;
      TakeCensus(loaded.Picture, loaded.Census.Bands, afterwards);
      ASSERT_EQ(loaded.Census.Bands.Count(), PictureBands(loaded.Picture.Height()).Count()) << path;
      ASSERT_EQ(loaded.Census.Total, afterwards.Total) << path;
      ASSERT_EQ(loaded.Census.Before, afterwards.Before) << path;
    }
  }
  EXPECT_GE(counted, 4);

  TLoadedPicture loaded = LoadPictureToProcess(test::TestDataPath("small_photo.jpg"));
  const Image plain = Processed(loaded.Picture, TypePresets[ptDeep]);
  ProcessWithPreset(loaded, TypePresets[ptDeep]);
  EXPECT_EQ(loaded.Picture, plain);
}

TEST(SameBytesOnEveryCore, TypesComputedTogether) {
  // The engine runs the three types at once; each must still be what it is
  // alone and serial.
  const Image picture = test::RandomImage(90, 70, 3);
  ThreadPool serialPool(1);
  std::array<Image, 4> expected;
  {
    ScopedBanding serial({&serialPool, 1});
    for (int type : {ptLight, ptNormal, ptDeep})
      expected[type] = Processed(picture, TypePresets[type]);
  }
  TProcessEngine engine;
  for (int threads : {1, 2, 3, 7}) {
    ThreadPool pool(threads);
    ScopedBanding banding({&pool, 0});
    TResultImages results;
    engine.ComputeTypes(picture, AllTypes, results);
    for (int type : {ptLight, ptNormal, ptDeep}) {
      ASSERT_NE(results.Get(type), nullptr);
      EXPECT_EQ(*results.Get(type), expected[type]) << type << ", " << threads << " threads";
    }
    EXPECT_EQ(results.Get(ptManualTuning), nullptr);
    TResultImages deepOnly;
    engine.ComputeTypes(picture, ptDeep, deepOnly);
    EXPECT_EQ(*deepOnly.Get(ptDeep), expected[ptDeep]);
    EXPECT_EQ(deepOnly.Get(ptNormal), nullptr);
  }
}

}  // namespace
}  // namespace tavren
