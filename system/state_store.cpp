#include "system/state_store.h"

#include <filesystem>
#include <fstream>

#include "system/error.h"
#include "system/file_names.h"
#include "system/file_replace.h"

namespace tavren {

namespace fs = std::filesystem;

namespace {

class FileStateStore : public TStateStore {
 public:
  FileStateStore(std::string path, TStoredKind kind) : path_(std::move(path)), kind_(kind) {}

  std::optional<Value> Read() override {
    std::error_code ec;
    if (!fs::is_regular_file(PathOf(path_), ec)) return std::nullopt;
    std::ifstream in(PathOf(path_), std::ios::binary);
    if (!in) return std::nullopt;
    Value value;
    value.Kind = kind_;
    value.Bytes.resize(kMostStoredBytes + 1);
    in.read(reinterpret_cast<char*>(value.Bytes.data()),
            static_cast<std::streamsize>(value.Bytes.size()));
    value.Bytes.resize(static_cast<std::size_t>(in.gcount()));
    return value;
  }

  bool Write(std::span<const std::uint8_t> bytes) override {
    std::error_code ec;
    fs::create_directories(PathOf(path_).parent_path(), ec);
    try {
      ReplaceFileContents(path_, bytes.data(), bytes.size());
    } catch (const TavrenError&) {
      return false;
    }
    return true;
  }

 private:
  std::string path_;
  TStoredKind kind_;
};

}  // namespace

std::unique_ptr<TStateStore> MakeFileStateStore(std::string path, TStoredKind kind) {
  return std::make_unique<FileStateStore>(std::move(path), kind);
}

}  // namespace tavren
