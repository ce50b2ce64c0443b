// One small value kept for the current user between runs: a value of the
// user's registry on Windows, a file elsewhere.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tavren {

// The type a value is stored with: bytes as they are (REG_BINARY), or a
// 32-bit number as its four little-endian bytes (REG_DWORD).  A file keeps
// no type: it reads as the type of its store.
enum class TStoredKind { Binary, Number, Other };

class TStateStore {
 public:
  struct Value {
    TStoredKind Kind = TStoredKind::Binary;
    std::vector<std::uint8_t> Bytes;
  };
  virtual ~TStateStore() = default;
  // Nothing when the value (or its key) does not exist or cannot be read.
  virtual std::optional<Value> Read() = 0;
  // False when the value could not be written.  A Number store writes
  // exactly four bytes.
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
};

// A file read back as a value never holds more than this; a longer file
// reads as its first kMostStoredBytes + 1 bytes, so its length shows.
inline constexpr std::size_t kMostStoredBytes = 4096;

// The user's store of the value valueName under keyPath (key names joined
// by backslashes), written with the type kind.  Windows: the registry value
// under HKEY_CURRENT_USER.  Elsewhere: the file UserStateFilePath names,
// written atomically.
std::unique_ptr<TStateStore> MakeUserStateStore(const std::string& keyPath,
                                                const std::string& valueName,
                                                TStoredKind kind = TStoredKind::Binary);

// A store in the file at path: written whole or not at all
// (ReplaceFileContents), its folders made when missing; through a link to
// the file it points to (a settings folder kept elsewhere), and never over
// a read-only file, which the user made so to keep its state.
std::unique_ptr<TStateStore> MakeFileStateStore(std::string path,
                                                TStoredKind kind = TStoredKind::Binary);

// The file of the user's store: a file named valueName in folders named
// after the pieces of keyPath, under $XDG_CONFIG_HOME (or ~/.config).  Empty
// on Windows, and where neither variable is set.
std::string UserStateFilePath(const std::string& keyPath, const std::string& valueName);

}  // namespace tavren
