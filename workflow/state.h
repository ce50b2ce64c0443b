// The window state kept between runs: one 296-byte little-endian record.
//
// Offsets: 0 SavedMark, 1 WindowState (0 normal, 1 minimised, 2 maximised),
// 2-3 padding, 4 FormHeight, 8 FormWidth, 12 PanelWidth, 16 ViewHeight,
// 20 ViewWidth (int32 each), 24-27 ViewFlags, 28-31 unused, 32-295 reserved.
// Bytes the program does not own are written back as they were read.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "system/state_store.h"

namespace tavren {

constexpr std::size_t kStateRecordSize = 296;

class TStateRecord {
 public:
  std::array<std::uint8_t, kStateRecordSize> Bytes{};

  std::uint8_t SavedMark() const { return Bytes[0]; }
  void SetSavedMark(std::uint8_t v) { Bytes[0] = v; }
  std::uint8_t WindowState() const { return Bytes[1]; }
  void SetWindowState(std::uint8_t v) { Bytes[1] = v; }
  std::int32_t FormHeight() const { return Int(4); }
  void SetFormHeight(std::int32_t v) { SetInt(4, v); }
  std::int32_t FormWidth() const { return Int(8); }
  void SetFormWidth(std::int32_t v) { SetInt(8, v); }
  std::int32_t PanelWidth() const { return Int(12); }
  void SetPanelWidth(std::int32_t v) { SetInt(12, v); }
  std::int32_t ViewHeight() const { return Int(16); }
  void SetViewHeight(std::int32_t v) { SetInt(16, v); }
  std::int32_t ViewWidth() const { return Int(20); }
  void SetViewWidth(std::int32_t v) { SetInt(20, v); }
  std::uint8_t ViewFlag(int index) const { return Bytes[24 + index]; }
  void SetViewFlag(int index, std::uint8_t v) { Bytes[24 + index] = v; }

 private:
  std::int32_t Int(std::size_t offset) const;
  void SetInt(std::size_t offset, std::int32_t v);
};

// The user's store of the record, at the key path and value name of the
// fixed texts (MakeUserStateStore).
std::unique_ptr<TStateStore> MakePlatformStateStore();

// The user's store of the save's option to keep the source's metadata: a
// number of its own beside the record, which keeps its fixed layout (a
// DWORD value under the record's key on Windows, a file beside the
// record's file elsewhere).
std::unique_ptr<TStateStore> MakePlatformKeepMetadataStore();

// The file the platform store uses (empty on Windows).
std::string StateFilePath();

// The WindowState byte for a window in the given state.  A window minimised
// from maximised is both; it counts as minimised.
std::uint8_t StoredWindowState(bool minimized, bool maximized);

struct TScreenSize {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
};

class TState {
 public:
  // keepMetadataStore: where the save's option is kept (none: it is off
  // and not remembered).
  explicit TState(std::unique_ptr<TStateStore> store,
                  std::unique_ptr<TStateStore> keepMetadataStore = nullptr);

  TStateRecord Record;

  // Reads the record and repairs it, or fills defaults when nothing valid
  // was read; reads the save's option too.  currentFormWidth is the
  // window's width at that moment.
  void LoadState(TScreenSize screen, std::int32_t currentFormWidth);
  void SetDefaults(TScreenSize screen, std::int32_t currentFormWidth);
  void Validate(TScreenSize screen);
  // Takes the window's state and sizes into the record and writes it;
  // failures are silent.
  void SaveState(std::uint8_t windowState, std::int32_t formHeight, std::int32_t formWidth,
                 std::int32_t viewHeight, std::int32_t viewWidth);

  // Whether the window's save keeps the source's dates, camera settings
  // and places.  Off unless the stored number is 1: a missing or damaged
  // value reads as off.
  bool KeepMetadata() const { return keepMetadata_; }
  // Takes the choice and stores it at once; failures are silent.
  void SetKeepMetadata(bool keep);

 private:
  void LoadKeepMetadata();

  std::unique_ptr<TStateStore> store_;
  std::unique_ptr<TStateStore> keepMetadataStore_;
  bool keepMetadata_ = false;
};

}  // namespace tavren
