#include <cstdlib>
#include <filesystem>

#include "system/state_store.h"

namespace tavren {

namespace fs = std::filesystem;

namespace {

// Each piece of the key path between backslashes is a folder.
fs::path KeyPathFolders(const std::string& keyPath) {
  fs::path folders;
  std::string piece;
  for (char c : keyPath + "\\") {
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

std::string UserStateFilePath(const std::string& keyPath, const std::string& valueName) {
  fs::path base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = fs::path(home) / ".config";
  } else {
    return std::string();
  }
  return (base / KeyPathFolders(keyPath) / valueName).string();
}

std::unique_ptr<TStateStore> MakeUserStateStore(const std::string& keyPath,
                                                const std::string& valueName, TStoredKind kind) {
  return MakeFileStateStore(UserStateFilePath(keyPath, valueName), kind);
}

}  // namespace tavren
