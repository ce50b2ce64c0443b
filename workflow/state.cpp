#include "workflow/state.h"

#include <cstring>

#include "imaging/numeric.h"
#include "picture_io/byte_order.h"
#include "workflow/fixed_texts.h"

namespace tavren {

std::int32_t TStateRecord::Int(std::size_t offset) const {
  return static_cast<std::int32_t>(ReadLittleEndian32(&Bytes[offset]));
}

void TStateRecord::SetInt(std::size_t offset, std::int32_t value) {
  WriteLittleEndian32(&Bytes[offset], static_cast<std::uint32_t>(value));
}

namespace {

std::int32_t Half(std::int32_t v) { return static_cast<std::int32_t>(Round(v / 2.0L)); }
std::int32_t Third(std::int32_t v) { return static_cast<std::int32_t>(Round(v / 3.0L)); }

// The key path of the fixed texts: key names joined by backslashes.
std::string KeyPath() { return sRegistryKeyHead + sRegistryKeyMiddle + "\\" + sProgramName; }

constexpr char kKeepMetadataValueName[] = "KeepMetadata";
constexpr std::size_t kNumberSize = 4;

}  // namespace

std::string StateFilePath() { return UserStateFilePath(KeyPath(), sStateValueName); }

std::unique_ptr<TStateStore> MakePlatformStateStore() {
  return MakeUserStateStore(KeyPath(), sStateValueName);
}

std::unique_ptr<TStateStore> MakePlatformKeepMetadataStore() {
  return MakeUserStateStore(KeyPath(), kKeepMetadataValueName, TStoredKind::Number);
}

std::uint8_t StoredWindowState(bool minimized, bool maximized) {
  if (minimized) return 1;
  return maximized ? 2 : 0;
}

TState::TState(std::unique_ptr<TStateStore> store, std::unique_ptr<TStateStore> keepMetadataStore)
    : store_(std::move(store)), keepMetadataStore_(std::move(keepMetadataStore)) {}

void TState::LoadState(TScreenSize screen, std::int32_t currentFormWidth) {
  bool loaded = false;
  if (store_) {
    const std::optional<TStateStore::Value> value = store_->Read();
    if (value && value->Kind == TStoredKind::Binary && value->Bytes.size() == kStateRecordSize) {
      std::memcpy(Record.Bytes.data(), value->Bytes.data(), kStateRecordSize);
      loaded = true;
    }
  }
  if (loaded)
    Validate(screen);
  else
    SetDefaults(screen, currentFormWidth);
  LoadKeepMetadata();
}

void TState::LoadKeepMetadata() {
  keepMetadata_ = false;
  if (!keepMetadataStore_) return;
  const std::optional<TStateStore::Value> value = keepMetadataStore_->Read();
  keepMetadata_ = value && value->Kind == TStoredKind::Number &&
                  value->Bytes.size() == kNumberSize &&
                  ReadLittleEndian32(value->Bytes.data()) == 1;
}

void TState::SetKeepMetadata(bool keep) {
  keepMetadata_ = keep;
  std::array<std::uint8_t, kNumberSize> number{};
  WriteLittleEndian32(number.data(), keep ? 1 : 0);
  if (keepMetadataStore_) keepMetadataStore_->Write(number);
}

void TState::SetDefaults(TScreenSize screen, std::int32_t currentFormWidth) {
  Record.SetWindowState(2);
  Record.SetFormHeight(Half(screen.Height));
  Record.SetFormWidth(Half(screen.Width));
  Record.SetPanelWidth(Third(currentFormWidth));
  for (int i = 0; i < 4; ++i) Record.SetViewFlag(i, 1);
}

void TState::Validate(TScreenSize screen) {
  if (Record.WindowState() != 0 && Record.WindowState() != 2) Record.SetWindowState(2);
  if (Record.FormHeight() < 50 || Record.FormHeight() > screen.Height)
    Record.SetFormHeight(Half(screen.Height));
  if (Record.FormWidth() < 50 || Record.FormWidth() > screen.Width)
    Record.SetFormWidth(Half(screen.Width));
  const std::int32_t bound = Record.WindowState() == 2 ? screen.Width : Record.FormWidth();
  if (Record.PanelWidth() < 50 || Record.PanelWidth() > bound) Record.SetPanelWidth(Third(bound));
  if (Record.ViewHeight() < 10 || Record.ViewHeight() > screen.Height)
    Record.SetViewHeight(Record.FormHeight());
  if (Record.ViewWidth() < 10 || Record.ViewWidth() > screen.Width)
    Record.SetViewWidth(Record.FormWidth() - Record.PanelWidth());
  if (Record.ViewFlag(3) > 3) Record.SetViewFlag(3, 1);
}

void TState::SaveState(std::uint8_t windowState, std::int32_t formHeight, std::int32_t formWidth,
                       std::int32_t viewHeight, std::int32_t viewWidth) {
  Record.SetSavedMark(1);
  Record.SetWindowState(windowState);
  Record.SetFormHeight(formHeight);
  Record.SetFormWidth(formWidth);
  Record.SetViewHeight(viewHeight);
  Record.SetViewWidth(viewWidth);
  if (store_) store_->Write(Record.Bytes);
}

}  // namespace tavren
