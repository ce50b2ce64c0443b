#include "workflow/process_engine.h"

#include <cassert>
#include <iterator>
#include <utility>

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
    case ptOriginal:
      return "Original";
    case ptLight:
      return "Light";
    case ptNormal:
      return "Normal";
    case ptDeep:
      return "Deep";
    case ptManualTuning:
      return "Manual Tuning";
    default:
      return "";
  }
}

// ---------------------------------------------------------------------------
// Variant sets

namespace {

// Light, Normal and Deep share nothing but the source, which they only
// read, so they run as tasks of the pool at once.  Normal and Deep (the
// longest) start first; Light takes the first thread that comes free.
void ComputePresetTypes(const Image& source, int which, TResultImages& results,
                        const std::atomic<bool>* cancelled) {
  constexpr int kOrder[3] = {ptNormal, ptDeep, ptLight};
  std::array<int, 3> types{};
  int count = 0;
  for (int type : kOrder)
    if (which == type || which == AllTypes) types[static_cast<std::size_t>(count++)] = type;
  std::array<std::unique_ptr<Image>, 3> made;
  BandPool().Run(count, [&](int i) {
    if (cancelled != nullptr && *cancelled) return;
    const auto slot = static_cast<std::size_t>(i);
    made[slot] = ProcessedCopy(source, TypePresets[static_cast<std::size_t>(types[slot])]);
  });
  for (int i = 0; i < count; ++i)
    results.Slot(types[static_cast<std::size_t>(i)]) = std::move(made[static_cast<std::size_t>(i)]);
}

// True when the base image of picture for the limit would have base's size
// and reduction.
bool IsBaseFor(const Image& picture, const Image& base, bool reduced, std::int32_t limitHeight,
               std::int32_t limitWidth) {
  std::int32_t width = 0;
  std::int32_t height = 0;
  const bool reduces =
      BaseImageSize(picture.Width(), picture.Height(), limitHeight, limitWidth, width, height);
  return reduces == reduced && width == base.Width() && height == base.Height();
}

}  // namespace

bool TVariantSet::Complete() const {
  return Full != nullptr && Base != nullptr && Results.Has(ptOriginal) && Results.Has(ptLight) &&
         Results.Has(ptNormal) && Results.Has(ptDeep);
}

std::size_t TVariantSet::ResultBytes() const {
  std::size_t bytes = Base != nullptr ? Base->ByteSize() : 0;
  for (int type : {ptOriginal, ptLight, ptNormal, ptDeep, ptManualTuning})
    if (const Image* result = Results.Get(type)) bytes += result->ByteSize();
  return bytes;
}

bool TVariantSet::FitsView(const Image& picture, std::int32_t limitHeight,
                           std::int32_t limitWidth) const {
  if (Full.get() != &picture || Base == nullptr) return false;
  return IsBaseFor(picture, *Base, Reduced, limitHeight, limitWidth);
}

TVariantSet ComputeVariantSet(std::shared_ptr<const Image> picture, std::int32_t limitHeight,
                              std::int32_t limitWidth, const std::atomic<bool>* cancelled) {
  TVariantSet set;
  set.Full = std::move(picture);
  if (set.Full == nullptr) return set;
  TBaseImage base = MakeBaseImage(*set.Full, limitHeight, limitWidth);
  set.Base = std::move(base.Picture);
  set.Reduced = base.Reduced;
  if (set.Base == nullptr) return set;
  CopyImage(set.Base.get(), set.Results.Slot(ptOriginal), true);
  ComputePresetTypes(*set.Base, AllTypes, set.Results, cancelled);
  return set;
}

// ---------------------------------------------------------------------------
// Engine

const Image* TProcessEngine::ComputeVariants(Image picture, std::int32_t limitHeight,
                                             std::int32_t limitWidth) {
  return AdoptVariants(ComputeVariantSet(std::make_shared<const Image>(std::move(picture)),
                                         limitHeight, limitWidth));
}

const Image* TProcessEngine::AdoptVariants(TVariantSet set) {
  ++viewComputations_;  // made here or ahead of time: a new set on show
  actualSizes_.clear();
  fullImage_ = std::move(set.Full);
  baseImage_ = std::move(set.Base);
  baseReduced_ = set.Reduced;
  results_ = std::move(set.Results);
  results_.Slot(ptManualTuning).reset();
  const Image* shown = Select(ptNormal);
  ApplyTypePreset(ptNormal);
  justOpened_ = true;
  return shown;
}

TVariantSet TProcessEngine::ReleaseVariants() {
  TVariantSet set;
  set.Full = std::move(fullImage_);
  set.Base = std::move(baseImage_);
  set.Reduced = std::exchange(baseReduced_, false);
  set.Results = std::move(results_);
  set.Results.Slot(ptManualTuning).reset();
  results_.Clear();
  actualSizes_.clear();
  return set;
}

bool TProcessEngine::BaseFitsView(std::int32_t limitHeight, std::int32_t limitWidth) const {
  if (fullImage_ == nullptr || baseImage_ == nullptr) return true;
  return IsBaseFor(*fullImage_, *baseImage_, baseReduced_, limitHeight, limitWidth);
}

const Image* TProcessEngine::FitToView(std::int32_t limitHeight, std::int32_t limitWidth) {
  if (BaseFitsView(limitHeight, limitWidth)) return nullptr;
  TVariantSet set = ComputeVariantSet(fullImage_, limitHeight, limitWidth);
  ++viewComputations_;
  const bool hadManual = results_.Has(ptManualTuning);
  baseImage_ = std::move(set.Base);
  baseReduced_ = set.Reduced;
  results_ = std::move(set.Results);
  if (hadManual) ComputeTypes(*baseImage_, ptManualTuning, results_);
  return results_.Get(pressed_);
}

void TProcessEngine::ComputeTypes(const Image& source, int which, TResultImages& results) const {
  ComputePresetTypes(source, which, results, nullptr);
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
  ++viewComputations_;
  return results_.Get(ptManualTuning);
}

TMouseDownAction TProcessEngine::MouseDownAction(bool viewHasPixels) const {
  TMouseDownAction action;
  if (!viewHasPixels) return action;
  if (anyPressed_ && pressed_ == ptManualTuning) {
    action.Kind = TMouseDownAction::kShowOriginalWhileHeld;
    return action;
  }
  action.Kind = TMouseDownAction::kSelectType;
  if (justOpened_) {
    action.Type = ptOriginal;
  } else {
    const TProcessType current = CurrentProcessType();
    action.Type = current == ptDeep || current == ptManualTuning
                      ? ptOriginal
                      : static_cast<TProcessType>(current + 1);
  }
  return action;
}

const Image* TProcessEngine::MouseDown(bool viewHasPixels) {
  const TMouseDownAction action = MouseDownAction(viewHasPixels);
  switch (action.Kind) {
    case TMouseDownAction::kShowOriginalWhileHeld:
      heldOriginal_ = true;
      return results_.Get(ptOriginal);
    case TMouseDownAction::kSelectType:
      justOpened_ = false;
      return Select(action.Type);
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

const Image* TProcessEngine::ShownResult() const {
  return results_.Get(heldOriginal_ ? ptOriginal : CurrentProcessType());
}

std::shared_ptr<const Image> TProcessEngine::PictureToSave() const {
  if (std::shared_ptr<const Image> made = ActualSizeOf(CurrentProcessType())) return made;
  return ResultForSave();
}

std::shared_ptr<const Image> TProcessEngine::ActualSizeShown() const {
  return ActualSizeOf(heldOriginal_ ? ptOriginal : CurrentProcessType());
}

std::shared_ptr<const Image> TProcessEngine::ActualSizeOf(TProcessType type) const {
  if (fullImage_ == nullptr) return nullptr;
  // The picture itself is what saving Original writes.
  if (type == ptOriginal) return fullImage_;
  for (const TActualSize& made : actualSizes_)
    if (made.Type == type && (type != ptManualTuning || made.Settings == manual_))
      return made.Picture;
  return nullptr;
}

void TProcessEngine::ComputeActualSize() {
  if (fullImage_ == nullptr || ActualSizeShown() != nullptr) return;
  std::shared_ptr<const Image> made = ResultForSave();
  if (made == nullptr) return;
  const std::size_t bytes = made->Stride() * static_cast<std::size_t>(made->Height());
  std::size_t kept = bytes;
  // The newest stay, as many as fit beside the new one.
  auto first = actualSizes_.end();
  while (first != actualSizes_.begin()) {
    const Image& older = *std::prev(first)->Picture;
    const std::size_t olderBytes = older.Stride() * static_cast<std::size_t>(older.Height());
    if (kept + olderBytes > kActualSizeBytes) break;
    kept += olderBytes;
    --first;
  }
  actualSizes_.erase(actualSizes_.begin(), first);
  actualSizes_.push_back({CurrentProcessType(), manual_, std::move(made)});
}

void TProcessEngine::ApplyTypePreset(int type) {
  if (type < ptOriginal || type > ptDeep) return;
  manual_ = TypePresets[static_cast<std::size_t>(type)];
}

}  // namespace tavren
