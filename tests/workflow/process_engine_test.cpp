#include <gtest/gtest.h>

#include <vector>

#include "clarivex/clarivex.h"
#include "lumora/lumora.h"
#include "support/test_support.h"
#include "workflow/process_engine.h"

namespace tavren {
namespace {

// A smooth picture with some noise, so that both technologies have real
// work to do (random noise alone fills every level).
Image Photo(std::int32_t width, std::int32_t height, std::uint32_t seed) {
  Image image = test::RandomImage(width, height, seed);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* p = image.Row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(60 + x % 90 + p[0] % 8);
      p[1] = static_cast<std::uint8_t>(80 + (x + y) % 70 + p[1] % 8);
      p[2] = static_cast<std::uint8_t>(100 + y % 60 + p[2] % 8);
    }
  return image;
}

// What a type must be, computed step by step without the engine.
Image ByHand(const Image& source, std::uint8_t clarivex, bool colorDistortion, std::uint8_t lumora,
             const TLumoraParams& params) {
  Image work = source;
  TClarivex().Process(work, clarivex, colorDistortion);
  TLumora().Process(work, lumora, params);
  return work;
}

constexpr std::int32_t kViewWidth = 40;
constexpr std::int32_t kViewHeight = 70;  // width + height > 100

class EngineTest : public ::testing::Test {
 protected:
  void Open(const Image& picture) {
    shown_ = engine_.ComputeVariants(picture, kViewHeight, kViewWidth);
  }
  // The types the view shows on n successive clicks.
  std::vector<int> Clicks(int n) {
    std::vector<int> types;
    for (int i = 0; i < n; ++i) {
      const Image* image = engine_.MouseDown(true);
      EXPECT_EQ(image, engine_.ResultImages().Get(engine_.CurrentProcessType()));
      EXPECT_EQ(engine_.ShownTypeName(), TypeUserName(engine_.CurrentProcessType()));
      types.push_back(engine_.CurrentProcessType());
    }
    return types;
  }

  TProcessEngine engine_;
  const Image* shown_ = nullptr;
};

TEST_F(EngineTest, AutomaticTypesRunClarivexThenLumoraOnTheirOwnCopies) {
  const Image base = Photo(30, 20, 1);
  TResultImages results;
  engine_.ComputeTypes(base, AllTypes, results);
  const TLumoraParams standard = LumoraParamSets[0];
  EXPECT_EQ(*results.Get(ptLight), ByHand(base, 2, false, 1, standard));
  EXPECT_EQ(*results.Get(ptNormal), ByHand(base, 2, false, 2, standard));
  EXPECT_EQ(*results.Get(ptDeep), ByHand(base, 3, false, 3, standard));
  EXPECT_EQ(results.Get(ptOriginal), nullptr);
  EXPECT_EQ(results.Get(ptManualTuning), nullptr);
  EXPECT_NE(*results.Get(ptNormal), base);

  TResultImages deepOnly;
  engine_.ComputeTypes(base, ptDeep, deepOnly);
  EXPECT_EQ(*deepOnly.Get(ptDeep), *results.Get(ptDeep));
  EXPECT_EQ(deepOnly.Get(ptNormal), nullptr);
}

TEST_F(EngineTest, ManualTuningUsesThePanelSettingsAndParameterSetOne) {
  const Image base = Photo(30, 20, 2);
  engine_.SetManualSettings({3, 1, 1, 1});
  TResultImages results;
  engine_.ComputeTypes(base, ptManualTuning, results);
  EXPECT_EQ(*results.Get(ptManualTuning), ByHand(base, 1, true, 3, LumoraParamSets[1]));
  EXPECT_EQ(results.Get(ptNormal), nullptr);  // 99 is never part of AllTypes

  engine_.SetManualSettings({0, 1, 0, 1});  // everything off
  engine_.ComputeTypes(base, ptManualTuning, results);
  EXPECT_EQ(*results.Get(ptManualTuning), base);
}

TEST_F(EngineTest, NewPictureShowsNormalWithEveryAutomaticResult) {
  const Image picture = Photo(80, 60, 3);  // 80 x 60 in 40 x 70: 40 x 30
  Open(picture);
  ASSERT_NE(engine_.BaseImage(), nullptr);
  EXPECT_TRUE(engine_.BaseReduced());
  EXPECT_EQ(engine_.BaseImage()->Width(), 40);
  EXPECT_EQ(engine_.BaseImage()->Height(), 30);
  EXPECT_EQ(*engine_.FullImage(), picture);
  EXPECT_EQ(*engine_.ResultImages().Get(ptOriginal), *engine_.BaseImage());
  for (int type : {ptLight, ptNormal, ptDeep}) EXPECT_TRUE(engine_.ResultImages().Has(type));
  EXPECT_FALSE(engine_.ResultImages().Has(ptManualTuning));
  EXPECT_EQ(engine_.CurrentProcessType(), ptNormal);
  EXPECT_EQ(shown_, engine_.ResultImages().Get(ptNormal));
  EXPECT_TRUE(engine_.JustOpened());
  EXPECT_EQ(engine_.ManualSettings(), TypePresets[ptNormal]);
}

TEST_F(EngineTest, ClicksCycleFromOriginalAfterOpening) {
  Open(Photo(50, 40, 4));
  EXPECT_EQ(Clicks(7), (std::vector<int>{0, 1, 2, 3, 0, 1, 2}));
  EXPECT_FALSE(engine_.JustOpened());
}

TEST_F(EngineTest, ClickAfterAButtonStepsFromThatType) {
  Open(Photo(50, 40, 5));
  engine_.Select(ptDeep);
  EXPECT_FALSE(engine_.JustOpened());
  EXPECT_EQ(Clicks(2), (std::vector<int>{0, 1}));
  engine_.Select(ptLight);
  EXPECT_EQ(Clicks(1), (std::vector<int>{2}));
}

TEST_F(EngineTest, ClickWithoutPictureDoesNothing) {
  EXPECT_EQ(engine_.MouseDownAction(false).Kind, TMouseDownAction::kNothing);
  EXPECT_EQ(engine_.MouseDown(false), nullptr);
  EXPECT_FALSE(engine_.AnyTypePressed());
  EXPECT_EQ(engine_.CurrentProcessType(), ptOriginal);
  EXPECT_EQ(engine_.ResultForSave(), nullptr);
  EXPECT_EQ(engine_.ShownTypeName(), "");
}

TEST_F(EngineTest, ManualTuningRightAfterOpeningEqualsNormal) {
  Open(Photo(50, 40, 6));
  const Image* manual = engine_.Select(ptManualTuning);
  ASSERT_NE(manual, nullptr);
  EXPECT_EQ(*manual, *engine_.ResultImages().Get(ptNormal));
  EXPECT_NE(manual, engine_.ResultImages().Get(ptNormal));  // its own entry
}

TEST_F(EngineTest, HoldingTheMouseInManualTuningShowsTheOriginal) {
  Open(Photo(50, 40, 7));
  engine_.SetManualSettings({1, 0, 3, 0});
  engine_.Select(ptManualTuning);
  const TMouseDownAction action = engine_.MouseDownAction(true);
  EXPECT_EQ(action.Kind, TMouseDownAction::kShowOriginalWhileHeld);
  EXPECT_EQ(engine_.ShownTypeName(), "Manual Tuning");
  EXPECT_EQ(engine_.MouseDown(true), engine_.ResultImages().Get(ptOriginal));
  EXPECT_EQ(engine_.CurrentProcessType(), ptManualTuning);
  EXPECT_EQ(engine_.ShownTypeName(), "Original (held)");
  EXPECT_EQ(engine_.MouseUp(), engine_.ResultImages().Get(ptManualTuning));
  EXPECT_EQ(engine_.ShownTypeName(), "Manual Tuning");

  engine_.Select(ptNormal);
  EXPECT_EQ(engine_.MouseUp(), nullptr);
  EXPECT_EQ(Clicks(1), (std::vector<int>{3}));
}

TEST_F(EngineTest, ManualResultStaysUntilTheNextPicture) {
  Open(Photo(50, 40, 8));
  engine_.SetManualSettings({3, 0, 3, 0});
  const Image* first = engine_.Select(ptManualTuning);
  engine_.Select(ptLight);
  EXPECT_EQ(engine_.Select(ptManualTuning), first);  // not recomputed
  EXPECT_EQ(*first, *engine_.ResultImages().Get(ptDeep));

  Open(Photo(50, 40, 9));
  EXPECT_FALSE(engine_.ResultImages().Has(ptManualTuning));
  EXPECT_EQ(engine_.ManualSettings(), TypePresets[ptNormal]);
}

TEST_F(EngineTest, NothingHappensWhileUpdating) {
  Open(Photo(50, 40, 10));
  engine_.SetUpdating(true);
  engine_.Press(ptManualTuning);
  EXPECT_EQ(engine_.ProcessLevelChange(), nullptr);
  EXPECT_EQ(engine_.ComputeManual(), nullptr);
  EXPECT_FALSE(engine_.ResultImages().Has(ptManualTuning));
  EXPECT_TRUE(engine_.JustOpened());
  engine_.SetUpdating(false);
  EXPECT_NE(engine_.ProcessLevelChange(), nullptr);
}

TEST_F(EngineTest, SavingAReducedPictureRecomputesAtFullSize) {
  const Image picture = Photo(90, 60, 11);
  Open(picture);
  ASSERT_TRUE(engine_.BaseReduced());
  const Image normalOnShow = *engine_.ResultImages().Get(ptNormal);

  std::unique_ptr<Image> saved = engine_.ResultForSave();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(*saved, *ProcessedCopy(picture, TypePresets[ptNormal]));
  EXPECT_EQ(*engine_.ResultImages().Get(ptNormal), normalOnShow);

  engine_.Select(ptOriginal);
  EXPECT_EQ(*engine_.ResultForSave(), picture);

  engine_.SetManualSettings({1, 1, 2, 1});
  engine_.Select(ptManualTuning);
  EXPECT_EQ(*engine_.ResultForSave(), *ProcessedCopy(picture, {1, 1, 2, 1}));
}

TEST_F(EngineTest, SavingAPictureThatFitsWritesTheResultOnShow) {
  Open(Photo(30, 20, 12));
  ASSERT_FALSE(engine_.BaseReduced());
  engine_.Select(ptDeep);
  std::unique_ptr<Image> saved = engine_.ResultForSave();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(*saved, *engine_.ResultImages().Get(ptDeep));
  EXPECT_NE(saved.get(), engine_.ResultImages().Get(ptDeep));
}

TEST_F(EngineTest, FollowingTheViewKeepsTypeSettingsAndJustOpened) {
  const Image picture = Photo(90, 60, 14);
  Open(picture);                                                   // 40 x 27
  EXPECT_TRUE(engine_.BaseFitsView(kViewHeight + 5, kViewWidth));  // the same base image
  EXPECT_EQ(engine_.FitToView(kViewHeight + 5, kViewWidth), nullptr);
  engine_.FitToView(50, 80);
  EXPECT_TRUE(engine_.JustOpened());
  EXPECT_EQ(Clicks(1), (std::vector<int>{0}));

  const TTypePreset manual{1, 1, 3, 1};
  engine_.SetManualSettings(manual);
  engine_.Select(ptManualTuning);
  const Image* shown = engine_.FitToView(46, 100);  // 69 x 46
  ASSERT_NE(shown, nullptr);
  const Image& base = *engine_.BaseImage();
  EXPECT_EQ(base.Width(), 69);
  EXPECT_EQ(base.Height(), 46);
  EXPECT_EQ(engine_.CurrentProcessType(), ptManualTuning);
  EXPECT_EQ(engine_.ManualSettings(), manual);
  EXPECT_EQ(shown, engine_.ResultImages().Get(ptManualTuning));
  EXPECT_EQ(*shown, *ProcessedCopy(base, manual));
  EXPECT_EQ(*engine_.ResultImages().Get(ptOriginal), base);
  for (int type : {ptLight, ptNormal, ptDeep})
    EXPECT_EQ(*engine_.ResultImages().Get(type),
              *ProcessedCopy(base, TypePresets[static_cast<std::size_t>(type)]));
  EXPECT_EQ(*engine_.FullImage(), picture);
}

TEST_F(EngineTest, APictureWithoutPixelsLeavesNoResults) {
  Open(Photo(30, 20, 13));
  Open(Image());
  EXPECT_EQ(shown_, nullptr);
  EXPECT_EQ(engine_.BaseImage(), nullptr);
  for (int type : {0, 1, 2, 3, 99}) EXPECT_FALSE(engine_.ResultImages().Has(type));
  EXPECT_EQ(engine_.ResultForSave(), nullptr);
}

}  // namespace
}  // namespace tavren
