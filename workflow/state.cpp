#include "workflow/state.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "workflow/fixed_texts.h"
#include "imaging/numeric.h"
#include "picture_io/byte_order.h"
#include "picture_io/error.h"
#include "picture_io/file_replace.h"

namespace tavren {

namespace fs = std::filesystem;

std::int32_t TStateRecord::Int(std::size_t offset) const {
  return static_cast<std::int32_t>(ReadLittleEndian32(&Bytes[offset]));
}

void TStateRecord::SetInt(std::size_t offset, std::int32_t value) {
  WriteLittleEndian32(&Bytes[offset], static_cast<std::uint32_t>(value));
}

namespace {

std::int32_t Half(std::int32_t v) { return static_cast<std::int32_t>(Round(v / 2.0L)); }
std::int32_t Third(std::int32_t v) { return static_cast<std::int32_t>(Round(v / 3.0L)); }

class FileStateStore : public TStateStore {
 public:
  explicit FileStateStore(std::string path) : path_(std::move(path)) {}

  std::optional<Value> Read() override {
    std::error_code ec;
    if (!fs::is_regular_file(path_, ec)) return std::nullopt;
    std::ifstream in(path_, std::ios::binary);
    if (!in) return std::nullopt;
    Value value;
    // One byte more than a record, so that a longer file is seen as wrong.
    value.Bytes.resize(kStateRecordSize + 1);
    in.read(reinterpret_cast<char*>(value.Bytes.data()),
            static_cast<std::streamsize>(value.Bytes.size()));
    value.Bytes.resize(static_cast<std::size_t>(in.gcount()));
    return value;
  }

  // Written whole or not at all, through a link to the file it points to
  // (a settings folder kept elsewhere), and never over a read-only file,
  // which the user made so to keep its state.
  bool Write(const std::array<std::uint8_t, kStateRecordSize>& bytes) override {
    std::error_code ec;
    fs::create_directories(fs::path(path_).parent_path(), ec);
    try {
      ReplaceFileContents(path_, bytes.data(), bytes.size());
    } catch (const TavrenError&) {
      return false;
    }
    return true;
  }

 private:
  std::string path_;
};

// Key path pieces may hold backslashes; each piece between them is a folder.
fs::path KeyPathFolders() {
  const std::string key = sRegistryKeyHead + sRegistryKeyMiddle + "\\" + sProgramName;
  fs::path folders;
  std::string piece;
  for (char c : key + "\\") {
    if (c != '\\') {
      piece += c;
    } else if (!piece.empty()) {
      folders /= piece;
      piece.clear();
    }
  }
  return folders;
}

}  // namespace

std::unique_ptr<TStateStore> MakeFileStateStore(std::string path) {
  return std::make_unique<FileStateStore>(std::move(path));
}

std::string StateFilePath() {
  fs::path base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = fs::path(home) / ".config";
  } else {
    return std::string();
  }
  return (base / KeyPathFolders() / sStateValueName).string();
}

#ifndef _WIN32
std::unique_ptr<TStateStore> MakePlatformStateStore() {
  return MakeFileStateStore(StateFilePath());
}
#endif

std::uint8_t StoredWindowState(bool minimized, bool maximized) {
  if (minimized) return 1;
  return maximized ? 2 : 0;
}

TState::TState(std::unique_ptr<TStateStore> store) : store_(std::move(store)) {}

void TState::LoadState(TScreenSize screen, std::int32_t currentFormWidth) {
  bool loaded = false;
  if (store_) {
    const std::optional<TStateStore::Value> value = store_->Read();
    if (value && value->Binary && value->Bytes.size() == kStateRecordSize) {
      std::memcpy(Record.Bytes.data(), value->Bytes.data(), kStateRecordSize);
      loaded = true;
    }
  }
  if (loaded)
    Validate(screen);
  else
    SetDefaults(screen, currentFormWidth);
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
  if (Record.PanelWidth() < 50 || Record.PanelWidth() > bound)
    Record.SetPanelWidth(Third(bound));
  if (Record.ViewHeight() < 10 || Record.ViewHeight() > screen.Height)
    Record.SetViewHeight(Record.FormHeight());
  if (Record.ViewWidth() < 10 || Record.ViewWidth() > screen.Width)
    Record.SetViewWidth(Record.FormWidth() - Record.PanelWidth());
  if (Record.ViewFlag(3) > 3) Record.SetViewFlag(3, 1);
}

void TState::SaveState(std::uint8_t windowState, std::int32_t formHeight,
                       std::int32_t formWidth, std::int32_t viewHeight,
                       std::int32_t viewWidth) {
  Record.SetSavedMark(1);
  Record.SetWindowState(windowState);
  Record.SetFormHeight(formHeight);
  Record.SetFormWidth(formWidth);
  Record.SetViewHeight(viewHeight);
  Record.SetViewWidth(viewWidth);
  if (store_) store_->Write(Record.Bytes);
}

}  // namespace tavren
