// The user's store in the registry, under HKEY_CURRENT_USER.
#include "system/state_store.h"
#include "system/wide_text_win.h"

namespace tavren {

namespace {

TStoredKind KindOf(DWORD type) {
  if (type == REG_BINARY) return TStoredKind::Binary;
  if (type == REG_DWORD) return TStoredKind::Number;
  return TStoredKind::Other;
}

DWORD TypeOf(TStoredKind kind) { return kind == TStoredKind::Number ? REG_DWORD : REG_BINARY; }

class RegistryStateStore : public TStateStore {
 public:
  RegistryStateStore(std::string keyPath, std::string valueName, TStoredKind kind)
      : keyPath_(Wide(keyPath)), valueName_(Wide(valueName)), kind_(kind) {}

  std::optional<Value> Read() override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
      return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    std::optional<Value> result;
    if (RegQueryValueExW(key, valueName_.c_str(), nullptr, &type, nullptr, &size) ==
        ERROR_SUCCESS) {
      Value value;
      value.Kind = KindOf(type);
      value.Bytes.resize(size);
      if (size == 0 || RegQueryValueExW(key, valueName_.c_str(), nullptr, &type, value.Bytes.data(),
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
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
      return false;
    const bool ok = RegSetValueExW(key, valueName_.c_str(), 0, TypeOf(kind_), bytes.data(),
                                   static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
  }

 private:
  std::wstring keyPath_;
  std::wstring valueName_;
  TStoredKind kind_;
};

}  // namespace

std::unique_ptr<TStateStore> MakeUserStateStore(const std::string& keyPath,
                                                const std::string& valueName, TStoredKind kind) {
  return std::make_unique<RegistryStateStore>(keyPath, valueName, kind);
}

std::string UserStateFilePath(const std::string&, const std::string&) { return std::string(); }

}  // namespace tavren
