// The engine that computes the processing types of a picture and switches
// between them.
//
// A picture arrives, is reduced to the view (the base image), and Light,
// Normal and Deep are computed from it at once: each on its own copy,
// Clarivex haze removal first, then Lumora tone correction.  Manual Tuning
// is computed on demand from the panel's settings.  The window only turns
// its events into calls on TProcessEngine and copies the images it hands
// back into the view; everything here is free of the window toolkit.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "enhance/process_types.h"
#include "imaging/image.h"

namespace tavren {

// Which argument of ComputeTypes: every automatic type (Light, Normal, Deep).
inline constexpr int AllTypes = -1;

// The name the user sees for a type ("Original", "Light", "Normal", "Deep",
// "Manual Tuning"): the hint of its tool button and its name in the status
// bar.  Empty for a code that is no type.
const char* TypeUserName(int type);

// One optional result image per type code 0, 1, 2, 3 and 99.
class TResultImages {
 public:
  // Null when the entry is absent or the code is not a type code.
  const Image* Get(int type) const;
  // The slot of a type code (0, 1, 2, 3 or 99; anything else is a bug).
  std::unique_ptr<Image>& Slot(int type);
  bool Has(int type) const { return ImageHasPixels(Get(type)); }
  void Clear();

 private:
  static int IndexOf(int type);
  std::array<std::unique_ptr<Image>, 5> entries_;
};

// What a new picture's processing gives for one view size: the picture
// itself, its base image and results 0 (the base image), 1, 2 and 3.
struct TVariantSet {
  std::shared_ptr<const Image> Full;
  std::unique_ptr<Image> Base;
  bool Reduced = false;
  TResultImages Results;

  bool Complete() const;
  // The bytes of the base image and the results (not of the picture).
  std::size_t ResultBytes() const;
  // True when the set was made from picture for a view of this size: the
  // base image would come out the same.
  bool FitsView(const Image& picture, std::int32_t limitHeight, std::int32_t limitWidth) const;
};

// Makes the variant set of picture for a limitWidth x limitHeight view:
// the base image, then Light, Normal and Deep at once, each from its own
// copy.  When *cancelled turns true, the types not yet started are left
// out and the set is not Complete.
TVariantSet ComputeVariantSet(std::shared_ptr<const Image> picture, std::int32_t limitHeight,
                              std::int32_t limitWidth,
                              const std::atomic<bool>* cancelled = nullptr);

// What a mouse button pressed on the view asks for.
struct TMouseDownAction {
  enum Kind {
    kNothing,                // no picture in the view
    kShowOriginalWhileHeld,  // Manual Tuning: show result 0 until release
    kSelectType,             // press `type` and show it
  };
  Kind Kind = kNothing;
  TProcessType Type = ptOriginal;
};

class TProcessEngine {
 public:
  TProcessEngine() = default;
  TProcessEngine(const TProcessEngine&) = delete;
  TProcessEngine& operator=(const TProcessEngine&) = delete;

  // A new picture: keeps it at full size, makes the base image for a
  // limitWidth x limitHeight view, drops every previous result (Manual
  // Tuning's too), stores the base image as result 0, computes Light,
  // Normal and Deep, presses Normal, gives the manual settings Normal's
  // preset and sets JustOpened.  Returns the result to show (Normal), or
  // null when the picture has no pixels.  The window does the same in two
  // steps, ComputeVariantSet (possibly ahead of time) and AdoptVariants.
  const Image* ComputeVariants(Image picture, std::int32_t limitHeight, std::int32_t limitWidth);
  // The same with variants computed beforehand (ComputeVariantSet): the
  // engine starts exactly as after computing them itself.
  const Image* AdoptVariants(TVariantSet set);
  // Hands the picture and its results 0 to 3 out, leaving no picture.
  TVariantSet ReleaseVariants();

  // True when the base image for a limitWidth x limitHeight view would be
  // the one in use (also when there is no picture).
  bool BaseFitsView(std::int32_t limitHeight, std::int32_t limitWidth) const;
  // Makes the base image and the types again for a view of a new size,
  // keeping the pressed type, JustOpened and the manual settings (Manual
  // Tuning is recomputed when it had a result).  Returns the pressed
  // type's new result, or null when nothing changed.
  const Image* FitToView(std::int32_t limitHeight, std::int32_t limitWidth);

  // Computes the results of one type code (1, 2, 3 or 99) or of AllTypes
  // (1, 2 and 3) from source into results, each from a fresh copy of
  // source.  99 uses the current manual settings.
  void ComputeTypes(const Image& source, int which, TResultImages& results) const;

  // The pressed type; ptOriginal also when no type is pressed yet.
  TProcessType CurrentProcessType() const { return pressed_; }
  bool AnyTypePressed() const { return anyPressed_; }

  // Presses a type without showing it (what setting the button does).
  void Press(TProcessType type);
  // The handler of every type button: unless Updating, clears JustOpened
  // and returns the result of the pressed type to show (for Manual Tuning
  // it is computed first when absent).  Null means: leave the view as it is.
  const Image* ProcessLevelChange();
  // Press(type), then ProcessLevelChange().
  const Image* Select(TProcessType type);

  // Recomputes Manual Tuning from the base image with the current manual
  // settings and returns it; null (and nothing computed) while Updating.
  const Image* ComputeManual();

  // Click-to-cycle: what a mouse down on the view does.  The first click
  // after a new picture shows Original; afterwards each click steps to the
  // next type, from Deep (or Manual Tuning) back to Original.  In Manual
  // Tuning the click only shows the unprocessed picture while held.
  TMouseDownAction MouseDownAction(bool viewHasPixels) const;
  // Performs MouseDownAction: returns the image to show, or null.
  const Image* MouseDown(bool viewHasPixels);
  // What the view shows when the button is released: result 99 in Manual
  // Tuning, otherwise null (no change).
  const Image* MouseUp();

  // The name of what the view shows: the pressed type's user name,
  // "Original (held)" while the mouse is held in Manual Tuning, empty before
  // the first picture.
  std::string ShownTypeName() const;

  // What saving writes: the pressed type at the picture's full size,
  // recomputed from the full picture when the base image was reduced (the
  // results on show are not touched).  Null before the first picture.
  std::unique_ptr<Image> ResultForSave() const;

  // ResultForSave's picture, without making it again when the engine has
  // it already: the full picture for Original, or the actual-size result
  // of the pressed type.  Null before the first picture.
  std::shared_ptr<const Image> PictureToSave() const;

  // What the view shows at actual size: the picture on show at the
  // picture's full size, exactly as saving would write it (the unprocessed
  // picture while the mouse holds it in Manual Tuning).  Null until
  // ComputeActualSize has made it.
  std::shared_ptr<const Image> ActualSizeShown() const;
  // Makes ActualSizeShown's picture when it is missing.  Slow for a large
  // picture; it may run on another thread while nothing else uses the
  // engine.  The last few are kept (within kActualSizeBytes), so
  // switching back to a type is immediate.
  void ComputeActualSize();
  static constexpr std::size_t kActualSizeBytes = std::size_t{512} << 20;
  // What the view shows when fitted: the pressed type's result, or result
  // 0 while the mouse holds it in Manual Tuning.
  const Image* ShownResult() const;

  // The manual panel's settings (strengths 0..3, options 0 or 1).
  const TTypePreset& ManualSettings() const { return manual_; }
  void SetManualSettings(const TTypePreset& settings) { manual_ = settings; }
  // The panel takes preset row `type` (0..3); other values change nothing.
  void ApplyTypePreset(int type);

  // True while the window sets controls from code: no computation and no
  // change of the view happens then.
  bool Updating() const { return updating_; }
  void SetUpdating(bool updating) { updating_ = updating; }

  bool JustOpened() const { return justOpened_; }
  const Image* FullImage() const { return fullImage_.get(); }
  const Image* BaseImage() const { return baseImage_.get(); }
  bool BaseReduced() const { return baseReduced_; }
  const TResultImages& ResultImages() const { return results_; }
  // How often the results on show were computed (a new base image's types,
  // a manual result), so that tests and benchmarks can count them.
  std::uint64_t ViewComputations() const { return viewComputations_; }

 private:
  std::shared_ptr<const Image> fullImage_;
  std::unique_ptr<Image> baseImage_;
  bool baseReduced_ = false;
  TResultImages results_;
  TProcessType pressed_ = ptOriginal;
  bool anyPressed_ = false;
  bool justOpened_ = false;
  bool heldOriginal_ = false;  // Manual Tuning shows result 0 while the mouse is held
  bool updating_ = false;
  TTypePreset manual_{};  // the panel starts with everything Off
  std::uint64_t viewComputations_ = 0;
  // The full-size result of type when the engine has it (Original: the
  // picture itself), else null.
  std::shared_ptr<const Image> ActualSizeOf(TProcessType type) const;
  // Full-size results made for the view, oldest first; a manual one with
  // the settings it was made with.
  struct TActualSize {
    TProcessType Type;
    TTypePreset Settings;
    std::shared_ptr<const Image> Picture;
  };
  std::vector<TActualSize> actualSizes_;
};

}  // namespace tavren
