// The window state in the current user's registry (Windows only).
#ifdef _WIN32

#include <windows.h>

#include "workflow/fixed_texts.h"
#include "workflow/state.h"

namespace tavren {

namespace {

std::string KeyPath() { return sRegistryKeyHead + sRegistryKeyMiddle + "\\" + sProgramName; }

class RegistryStateStore : public TStateStore {
 public:
  std::optional<Value> Read() override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
      return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    std::optional<Value> result;
    if (RegQueryValueExA(key, sStateValueName.c_str(), nullptr, &type, nullptr, &size) ==
        ERROR_SUCCESS) {
      Value value;
      value.Binary = type == REG_BINARY;
      value.Bytes.resize(size);
      if (size == 0 ||
          RegQueryValueExA(key, sStateValueName.c_str(), nullptr, &type, value.Bytes.data(),
                           &size) == ERROR_SUCCESS) {
        value.Bytes.resize(size);
        result = std::move(value);
      }
    }
    RegCloseKey(key);
    return result;
  }

  bool Write(const std::array<std::uint8_t, kStateRecordSize>& bytes) override {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
      return false;
    const bool ok = RegSetValueExA(key, sStateValueName.c_str(), 0, REG_BINARY, bytes.data(),
                                   static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
  }
};

}  // namespace

std::unique_ptr<TStateStore> MakePlatformStateStore() {
  return std::make_unique<RegistryStateStore>();
}

}  // namespace tavren

#endif
