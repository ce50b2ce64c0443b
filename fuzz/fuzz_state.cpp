// The window-state record from arbitrary stored bytes: loading never fails,
// and whatever was stored, the repaired record holds usable sizes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "workflow/state.h"

namespace {

class BytesStore : public tavren::TStateStore {
 public:
  BytesStore(const std::uint8_t* data, std::size_t size, bool binary)
      : value_{binary ? tavren::TStoredKind::Binary : tavren::TStoredKind::Other,
               std::vector<std::uint8_t>(data, data + size)} {}
  std::optional<Value> Read() override { return value_; }
  bool Write(std::span<const std::uint8_t>) override { return true; }

 private:
  Value value_;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first four bytes choose the screen (at least 100 pixels each way, so
  // that the default half-screen sizes are usable); the rest is the value.
  tavren::TScreenSize screen{1920, 1080};
  bool binary = true;
  if (size >= 4) {
    screen.Width = 100 + (data[0] | (data[1] << 8)) % 8000;
    screen.Height = 100 + (data[2] | (data[3] << 8)) % 8000;
    binary = (data[0] & 1) == 0;
    data += 4;
    size -= 4;
  }
  tavren::TState state(std::make_unique<BytesStore>(data, size, binary));
  state.LoadState(screen, 1118);
  const tavren::TStateRecord& r = state.Record;
  Check(r.WindowState() == 0 || r.WindowState() == 2);
  Check(r.FormHeight() >= 50 && r.FormHeight() <= screen.Height);
  Check(r.FormWidth() >= 50 && r.FormWidth() <= screen.Width);
  const bool loaded = binary && size == tavren::kStateRecordSize;
  if (loaded) {
    Check(r.ViewHeight() >= 10 || r.ViewHeight() == r.FormHeight());
    Check(r.ViewFlag(3) <= 3);
    // Bytes the program does not own come back as they were stored.
    Check(std::memcmp(r.Bytes.data() + 32, data + 32, tavren::kStateRecordSize - 32) == 0);
  }
  state.SaveState(r.WindowState(), r.FormHeight(), r.FormWidth(), r.ViewHeight(), r.ViewWidth());
  return 0;
}
