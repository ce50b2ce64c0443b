#include "workflow/state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"
#include "system/file_bytes.h"
#include "workflow/fixed_texts.h"

namespace tavren {
namespace {

// A store in memory that counts writes and can be made to fail.
class MemoryStore : public TStateStore {
 public:
  std::optional<Value> Stored;
  bool FailWrites = false;
  int Writes = 0;

  std::optional<Value> Read() override { return Stored; }
  bool Write(std::span<const std::uint8_t> bytes) override {
    ++Writes;
    if (FailWrites) return false;
    Stored = Value{TStoredKind::Binary, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
    return true;
  }
};

constexpr TScreenSize kScreen{800, 600};

TStateRecord ValidRecord() {
  TStateRecord r;
  r.SetWindowState(0);
  r.SetFormHeight(400);
  r.SetFormWidth(700);
  r.SetPanelWidth(200);
  r.SetViewHeight(300);
  r.SetViewWidth(500);
  for (int i = 0; i < 4; ++i) r.SetViewFlag(i, 1);
  return r;
}

TState StateWith(std::optional<TStateStore::Value> value, MemoryStore** out = nullptr) {
  auto store = std::make_unique<MemoryStore>();
  store->Stored = std::move(value);
  if (out) *out = store.get();
  return TState(std::move(store));
}

TStateStore::Value ValueOf(const TStateRecord& r) {
  return {TStoredKind::Binary, std::vector<std::uint8_t>(r.Bytes.begin(), r.Bytes.end())};
}

TEST(State, RecordLayoutIsLittleEndianAtFixedOffsets) {
  TStateRecord r;
  r.SetFormHeight(0x01020304);
  r.SetViewWidth(-2);
  EXPECT_EQ(r.Bytes[4], 0x04);
  EXPECT_EQ(r.Bytes[7], 0x01);
  EXPECT_EQ(r.Bytes[20], 0xFE);
  EXPECT_EQ(r.Bytes[23], 0xFF);
  EXPECT_EQ(r.ViewWidth(), -2);
}

TEST(State, FirstRunGivesDefaults) {
  TState state = StateWith(std::nullopt);
  state.LoadState(kScreen, 1118);
  EXPECT_EQ(state.Record.WindowState(), 2);
  EXPECT_EQ(state.Record.FormHeight(), 300);
  EXPECT_EQ(state.Record.FormWidth(), 400);
  EXPECT_EQ(state.Record.PanelWidth(), 373);  // Round(1118 / 3)
  EXPECT_EQ(state.Record.ViewHeight(), 0);    // a command-line picture is not reduced
  EXPECT_EQ(state.Record.ViewWidth(), 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(state.Record.ViewFlag(i), 1);
}

TEST(State, WrongSizeOrTypeGivesDefaults) {
  TStateStore::Value shortValue = ValueOf(ValidRecord());
  shortValue.Bytes.pop_back();
  TState a = StateWith(shortValue);
  a.LoadState(kScreen, 900);
  EXPECT_EQ(a.Record.WindowState(), 2);
  EXPECT_EQ(a.Record.FormWidth(), 400);

  TStateStore::Value text = ValueOf(ValidRecord());
  text.Kind = TStoredKind::Other;
  TState b = StateWith(text);
  b.LoadState(kScreen, 900);
  EXPECT_EQ(b.Record.WindowState(), 2);
}

TEST(State, ValidRecordIsKept) {
  TState state = StateWith(ValueOf(ValidRecord()));
  state.LoadState(kScreen, 900);
  EXPECT_EQ(state.Record.Bytes, ValidRecord().Bytes);
}

TEST(State, Repairs) {
  TStateRecord minimised = ValidRecord();
  minimised.SetWindowState(1);
  TState a = StateWith(ValueOf(minimised));
  a.LoadState(kScreen, 900);
  EXPECT_EQ(a.Record.WindowState(), 2);

  TStateRecord wide = ValidRecord();
  wide.SetFormWidth(900);
  TState b = StateWith(ValueOf(wide));
  b.LoadState(kScreen, 900);
  EXPECT_EQ(b.Record.FormWidth(), 400);

  TStateRecord maxWide = ValidRecord();
  maxWide.SetWindowState(2);
  maxWide.SetPanelWidth(700);
  TState c = StateWith(ValueOf(maxWide));
  c.LoadState(kScreen, 900);
  EXPECT_EQ(c.Record.PanelWidth(), 700);

  maxWide.SetPanelWidth(30);
  TState d = StateWith(ValueOf(maxWide));
  d.LoadState(kScreen, 900);
  EXPECT_EQ(d.Record.PanelWidth(), 267);  // Round(266.67)

  TStateRecord narrow = ValidRecord();
  narrow.SetPanelWidth(30);
  narrow.SetViewWidth(5);
  TState e = StateWith(ValueOf(narrow));
  e.LoadState(kScreen, 900);
  EXPECT_EQ(e.Record.PanelWidth(), 233);  // Round(233.3)
  EXPECT_EQ(e.Record.ViewWidth(), 467);

  TStateRecord tall = ValidRecord();
  tall.SetViewHeight(601);
  tall.SetViewFlag(3, 4);
  tall.SetViewFlag(2, 9);  // only the last flag is checked
  TState f = StateWith(ValueOf(tall));
  f.LoadState(kScreen, 900);
  EXPECT_EQ(f.Record.ViewHeight(), 400);
  EXPECT_EQ(f.Record.ViewFlag(3), 1);
  EXPECT_EQ(f.Record.ViewFlag(2), 9);
}

TEST(State, SaveKeepsBytesItDoesNotOwn) {
  TStateRecord r = ValidRecord();
  r.Bytes[2] = 0xAA;    // padding
  r.Bytes[29] = 0xBB;   // unused
  r.Bytes[295] = 0xCC;  // reserved
  MemoryStore* store = nullptr;
  TState state = StateWith(ValueOf(r), &store);
  state.LoadState(kScreen, 900);
  state.SaveState(2, 600, 800, 550, 780);
  ASSERT_TRUE(store->Stored.has_value());
  const auto& bytes = store->Stored->Bytes;
  ASSERT_EQ(bytes.size(), kStateRecordSize);
  EXPECT_EQ(bytes[0], 1);  // saved mark
  EXPECT_EQ(bytes[1], 2);
  EXPECT_EQ(bytes[2], 0xAA);
  EXPECT_EQ(bytes[29], 0xBB);
  EXPECT_EQ(bytes[295], 0xCC);
  EXPECT_EQ(state.Record.PanelWidth(), 200);
  EXPECT_EQ(state.Record.ViewWidth(), 780);
}

TEST(State, FailedWriteIsSilent) {
  MemoryStore* store = nullptr;
  TState state = StateWith(std::nullopt, &store);
  store->FailWrites = true;
  state.LoadState(kScreen, 900);
  EXPECT_NO_THROW(state.SaveState(0, 500, 600, 400, 500));
  EXPECT_EQ(store->Writes, 1);
}

TEST(State, FileStoreWritesExactly296BytesAtomically) {
  test::TempDir dir;
  const std::string path = dir.file("Software/Maker/Program/Main");
  {
    TState state(MakeFileStateStore(path));
    state.LoadState(kScreen, 900);
    state.SaveState(0, 500, 600, 400, 500);
  }
  EXPECT_EQ(std::filesystem::file_size(path), kStateRecordSize);
  EXPECT_EQ(
      std::distance(std::filesystem::directory_iterator(dir.path() / "Software/Maker/Program"),
                    std::filesystem::directory_iterator()),
      1);  // no temporary file left
  TState again(MakeFileStateStore(path));
  again.LoadState(kScreen, 900);
  EXPECT_EQ(again.Record.WindowState(), 0);
  EXPECT_EQ(again.Record.FormWidth(), 600);
  EXPECT_EQ(again.Record.ViewHeight(), 400);

  // A longer file is not a record.
  std::ofstream(path, std::ios::app) << 'x';
  TState longer(MakeFileStateStore(path));
  longer.LoadState(kScreen, 900);
  EXPECT_EQ(longer.Record.WindowState(), 2);
}

// A state file kept elsewhere through a link is written where the link
// points; one the user made read-only keeps its content; neither is an error.
TEST(State, FileStoreWritesThroughALinkAndLeavesAReadOnlyFileAlone) {
  namespace fs = std::filesystem;
  test::TempDir dir;
  fs::create_directories(dir.path() / "dotfiles");
  fs::create_directories(dir.path() / "config");
  std::ofstream(dir.file("dotfiles/Main")) << "old";
  const std::string link = dir.file("config/Main");
  std::error_code noLinks;
  fs::create_symlink("../dotfiles/Main", link, noLinks);
  if (noLinks) GTEST_SKIP() << "no links here: " << noLinks.message();
  TState linked(MakeFileStateStore(link));
  linked.LoadState(kScreen, 900);
  linked.SaveState(0, 500, 600, 400, 500);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::file_size(dir.file("dotfiles/Main")), kStateRecordSize);

  const std::string locked = dir.file("locked/Main");
  TState first(MakeFileStateStore(locked));
  first.LoadState(kScreen, 900);
  first.SaveState(0, 500, 700, 400, 500);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  TState second(MakeFileStateStore(locked));
  second.LoadState(kScreen, 900);
  EXPECT_NO_THROW(second.SaveState(0, 500, 600, 400, 500));
  TState again(MakeFileStateStore(locked));
  again.LoadState(kScreen, 900);
  EXPECT_EQ(again.Record.FormWidth(), 700);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "locked"), fs::directory_iterator()),
            1);
}

// The save's option is a number of its own beside the record: off until
// stored as 1, read as off when missing or damaged, and never a byte of
// the record.
TEST(State, KeepMetadataIsANumberBesideTheRecord) {
  test::TempDir dir;
  const std::string record = dir.file("Program/Main");
  const std::string option = dir.file("Program/KeepMetadata");
  const auto loaded = [&] {
    TState state(MakeFileStateStore(record), MakeFileStateStore(option, TStoredKind::Number));
    state.LoadState(kScreen, 900);
    return state.KeepMetadata();
  };
  EXPECT_FALSE(loaded());
  {
    TState state(MakeFileStateStore(record), MakeFileStateStore(option, TStoredKind::Number));
    state.LoadState(kScreen, 900);
    state.SetKeepMetadata(true);
    state.SaveState(0, 500, 600, 400, 500);
  }
  EXPECT_EQ(ReadFileBytes(option), (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(std::filesystem::file_size(record), kStateRecordSize);
  TState restarted(MakeFileStateStore(record));
  restarted.LoadState(kScreen, 900);
  EXPECT_EQ(restarted.Record.Bytes[28], 0);  // the record's unused bytes stay so
  EXPECT_TRUE(loaded());

  for (const std::vector<std::uint8_t>& damaged :
       {std::vector<std::uint8_t>{1, 0, 0}, {1, 0, 0, 0, 0}, {2, 0, 0, 0}, {1, 0, 0, 1}, {}}) {
    std::ofstream(option, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(damaged.data()),
               static_cast<std::streamsize>(damaged.size()));
    EXPECT_FALSE(loaded()) << damaged.size();
  }
  MemoryStore* binary = nullptr;
  TState mistyped(std::make_unique<MemoryStore>(), [&] {
    auto store = std::make_unique<MemoryStore>();
    store->Stored = TStateStore::Value{TStoredKind::Binary, {1, 0, 0, 0}};
    binary = store.get();
    return store;
  }());
  mistyped.LoadState(kScreen, 900);
  EXPECT_FALSE(mistyped.KeepMetadata());
  binary->FailWrites = true;
  EXPECT_NO_THROW(mistyped.SetKeepMetadata(true));  // silent, kept for this run
  EXPECT_TRUE(mistyped.KeepMetadata());
}

#ifndef _WIN32  // the registry there: tests/system/files_test.cpp
TEST(State, PlatformFileFollowsConfigHomeAndKeyPath) {
  DecodeFixedTexts();
  test::TempDir dir;
  setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  const std::filesystem::path folder = dir.path() / "Software" / sRegistryKeyMiddle / sProgramName;
  EXPECT_EQ(StateFilePath(), (folder / sStateValueName).string());
  MakePlatformKeepMetadataStore()->Write(std::vector<std::uint8_t>{1, 0, 0, 0});
  EXPECT_TRUE(std::filesystem::is_regular_file(folder / "KeepMetadata"));  // beside the record
  unsetenv("XDG_CONFIG_HOME");
}
#endif

}  // namespace
}  // namespace tavren
