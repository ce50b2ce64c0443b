// The user's store in the registry, under HKEY_CURRENT_USER.
#include <windows.h>

#include "system/state_store.h"

namespace tavren {

namespace {

class RegistryStateStore : public TStateStore {
 public:
  RegistryStateStore(std::string keyPath, std::string valueName)
      : keyPath_(std::move(keyPath)), valueName_(std::move(valueName)) {}

  std::optional<Value> Read() override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
      return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    std::optional<Value> result;
    if (RegQueryValueExA(key, valueName_.c_str(), nullptr, &type, nullptr, &size) ==
        ERROR_SUCCESS) {
      Value value;
      value.Binary = type == REG_BINARY;
      value.Bytes.resize(size);
      if (size == 0 || RegQueryValueExA(key, valueName_.c_str(), nullptr, &type, value.Bytes.data(),
                                        &size) == ERROR_SUCCESS) {
        value.Bytes.resize(size);
        result = std::move(value);
      }
    }
    RegCloseKey(key);
    return result;
  }

  bool Write(std::span<const std::uint8_t> bytes) override {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
      return false;
    const bool ok = RegSetValueExA(key, valueName_.c_str(), 0, REG_BINARY, bytes.data(),
                                   static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
  }

 private:
  std::string keyPath_;
  std::string valueName_;
};

}  // namespace

std::unique_ptr<TStateStore> MakeUserStateStore(const std::string& keyPath,
                                                const std::string& valueName) {
  return std::make_unique<RegistryStateStore>(keyPath, valueName);
}

std::string UserStateFilePath(const std::string&, const std::string&) { return std::string(); }

}  // namespace tavren
