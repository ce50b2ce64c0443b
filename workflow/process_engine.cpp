#include "workflow/process_engine.h"

#include <cassert>

#include "enhance/base_image.h"
#include "imaging/thread_pool.h"

namespace tavren {

// ---------------------------------------------------------------------------
// Result images

int TResultImages::IndexOf(int type) {
  if (type >= ptOriginal && type <= ptDeep) return type;
  if (type == ptManualTuning) return 4;
  return -1;
}

const Image* TResultImages::Get(int type) const {
  const int index = IndexOf(type);
  return index < 0 ? nullptr : entries_[static_cast<std::size_t>(index)].get();
}

std::unique_ptr<Image>& TResultImages::Slot(int type) {
  const int index = IndexOf(type);
  assert(index >= 0);
  return entries_[static_cast<std::size_t>(index < 0 ? 0 : index)];
}

void TResultImages::Clear() {
  for (auto& entry : entries_) entry.reset();
}

const char* TypeUserName(int type) {
  switch (type) {
    case ptOriginal: return "Original";
    case ptLight: return "Light";
    case ptNormal: return "Normal";
    case ptDeep: return "Deep";
    case ptManualTuning: return "Manual Tuning";
    default: return "";
  }
}

// ---------------------------------------------------------------------------
// Engine

const Image* TProcessEngine::ComputeVariants(const Image& picture, std::int32_t limitHeight,
                                             std::int32_t limitWidth) {
  CopyImage(&picture, fullImage_, false);
  return VariantsOfFullImage(limitHeight, limitWidth);
}

const Image* TProcessEngine::ComputeVariants(Image&& picture, std::int32_t limitHeight,
                                             std::int32_t limitWidth) {
  if (fullImage_ == nullptr) fullImage_ = std::make_unique<Image>();
  *fullImage_ = std::move(picture);
  return VariantsOfFullImage(limitHeight, limitWidth);
}

const Image* TProcessEngine::VariantsOfFullImage(std::int32_t limitHeight,
                                                 std::int32_t limitWidth) {
  TBaseImage base = MakeBaseImage(*fullImage_, limitHeight, limitWidth);
  baseImage_ = std::move(base.image);
  baseReduced_ = base.reduced;
  results_.Clear();
  CopyImage(baseImage_.get(), results_.Slot(ptOriginal), true);
  if (baseImage_ != nullptr) ComputeTypes(*baseImage_, AllTypes, results_);
  const Image* shown = Select(ptNormal);
  ApplyTypePreset(ptNormal);
  justOpened_ = true;
  return shown;
}

void TProcessEngine::ComputeTypes(const Image& source, int which, TResultImages& results) const {
  // The automatic types share nothing but the source, which they only read,
  // so they run as tasks of the pool at once.  Normal and Deep (the longest)
  // start first; Light takes the first thread that comes free.
  constexpr int kOrder[3] = {ptNormal, ptDeep, ptLight};
  std::array<int, 3> types{};
  int count = 0;
  for (int type : kOrder)
    if (which == type || which == AllTypes) types[static_cast<std::size_t>(count++)] = type;
  std::array<std::unique_ptr<Image>, 3> made;
  BandPool().Run(count, [&](int i) {
    const auto slot = static_cast<std::size_t>(i);
    made[slot] = ProcessedCopy(source, TypePresets[static_cast<std::size_t>(types[slot])]);
  });
  for (int i = 0; i < count; ++i)
    results.Slot(types[static_cast<std::size_t>(i)]) = std::move(made[static_cast<std::size_t>(i)]);
  if (which == ptManualTuning) results.Slot(ptManualTuning) = ProcessedCopy(source, manual_);
}

void TProcessEngine::Press(TProcessType type) {
  pressed_ = type;
  heldOriginal_ = false;
  anyPressed_ = true;
}

const Image* TProcessEngine::ProcessLevelChange() {
  if (updating_) return nullptr;
  const Image* shown = nullptr;
  if (pressed_ == ptManualTuning && !results_.Has(ptManualTuning))
    shown = ComputeManual();
  else
    shown = results_.Get(pressed_);
  justOpened_ = false;
  return shown;
}

const Image* TProcessEngine::Select(TProcessType type) {
  Press(type);
  return ProcessLevelChange();
}

const Image* TProcessEngine::ComputeManual() {
  if (updating_ || baseImage_ == nullptr) return nullptr;
  ComputeTypes(*baseImage_, ptManualTuning, results_);
  return results_.Get(ptManualTuning);
}

TMouseDownAction TProcessEngine::MouseDownAction(bool viewHasPixels) const {
  TMouseDownAction action;
  if (!viewHasPixels) return action;
  if (anyPressed_ && pressed_ == ptManualTuning) {
    action.kind = TMouseDownAction::kShowOriginalWhileHeld;
    return action;
  }
  action.kind = TMouseDownAction::kSelectType;
  if (justOpened_) {
    action.type = ptOriginal;
  } else {
    const TProcessType current = CurrentProcessType();
    action.type = current == ptDeep || current == ptManualTuning
                      ? ptOriginal
                      : static_cast<TProcessType>(current + 1);
  }
  return action;
}

const Image* TProcessEngine::MouseDown(bool viewHasPixels) {
  const TMouseDownAction action = MouseDownAction(viewHasPixels);
  switch (action.kind) {
    case TMouseDownAction::kShowOriginalWhileHeld:
      heldOriginal_ = true;
      return results_.Get(ptOriginal);
    case TMouseDownAction::kSelectType:
      justOpened_ = false;
      return Select(action.type);
    case TMouseDownAction::kNothing:
      break;
  }
  return nullptr;
}

const Image* TProcessEngine::MouseUp() {
  heldOriginal_ = false;
  if (anyPressed_ && pressed_ == ptManualTuning) return results_.Get(ptManualTuning);
  return nullptr;
}

std::string TProcessEngine::ShownTypeName() const {
  if (!anyPressed_ || baseImage_ == nullptr) return std::string();
  if (heldOriginal_) return std::string(TypeUserName(ptOriginal)) + " (held)";
  return TypeUserName(pressed_);
}

std::unique_ptr<Image> TProcessEngine::ResultForSave() const {
  std::unique_ptr<Image> saved;
  const TProcessType type = CurrentProcessType();
  if (baseReduced_ && fullImage_ != nullptr) {
    if (type == ptOriginal) {
      CopyImage(fullImage_.get(), saved, true);
    } else {
      TResultImages privateResults;
      ComputeTypes(*fullImage_, type, privateResults);
      saved = std::move(privateResults.Slot(type));
    }
  } else {
    CopyImage(results_.Get(type), saved, true);
  }
  return saved;
}

void TProcessEngine::ApplyTypePreset(int type) {
  if (type < ptOriginal || type > ptDeep) return;
  manual_ = TypePresets[static_cast<std::size_t>(type)];
}

}  // namespace tavren
