// The temporary files being written, where a handler of a request to end
// the program can find them (a signal handler on POSIX, the console's
// handler on Windows): fixed slots of fixed size, since such a handler may
// not allocate or lock.  Shared by the two implementations of
// file_replace.h, each with its own kind of path.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>

namespace tavren {

template <typename Char, std::size_t LongestPath>
class TFilesInProgress {
 private:
  static constexpr int kFree = 0;
  static constexpr int kBeingFilled = 1;
  static constexpr int kHoldsPath = 2;
  struct Slot {
    std::atomic<int> State{kFree};
    Char Path[LongestPath];
  };
  std::array<Slot, 256> slots_;

 public:
  using PathText = std::basic_string<Char>;

  // Registers a temporary file while it exists; a save beyond the slots
  // (or of a longer path) is simply not registered: its file is then
  // removed at a later save.
  class TEntry {
   public:
    TEntry(TFilesInProgress& files, const PathText& path) {
      if (path.size() >= LongestPath) return;
      for (Slot& slot : files.slots_) {
        int expected = kFree;
        if (!slot.State.compare_exchange_strong(expected, kBeingFilled)) continue;
        std::memcpy(slot.Path, path.c_str(), (path.size() + 1) * sizeof(Char));
        slot.State = kHoldsPath;
        slot_ = &slot;
        return;
      }
    }
    ~TEntry() {
      if (slot_ != nullptr) slot_->State = kFree;
    }
    TEntry(const TEntry&) = delete;
    TEntry& operator=(const TEntry&) = delete;

   private:
    Slot* slot_ = nullptr;
  };

  // Calls remove(path) for every registered file; safe in such a handler.
  template <typename Remove>
  void ForEachPath(Remove remove) {
    for (Slot& slot : slots_)
      if (slot.State.load() == kHoldsPath) remove(slot.Path);
  }
};

}  // namespace tavren
