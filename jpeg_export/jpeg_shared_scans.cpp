#include "jpeg_export/jpeg_shared_scans.h"

#include <new>
#include <utility>

namespace tavren {

void TSharedScans::Publish(std::vector<TOwnScan> scans) {
  const std::lock_guard lock(mutex_);
  scans_ = std::move(scans);
  state_ = TState::Ready;
  changed_.notify_all();
}

bool TSharedScans::WaitForCoefficients() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return state_ != TState::Waiting; });
  return state_ == TState::Ready;
}

// The scans are not changed once published, so each thread reads its
// own without the lock.
void TSharedScans::WriteScans() {
  for (std::size_t scan = 0; Take(scan);) {
    bool written = false;
    try {
      written =
          AppendAcRefinementScan(scans_[scan].Plane, scans_[scan].Refinement, scans_[scan].Bytes);
    } catch (const std::bad_alloc&) {
      written = false;
    }
    Done(written);
  }
}

void TSharedScans::Withdraw(bool help) {
  if (help) WriteScans();
  std::unique_lock lock(mutex_);
  if (state_ != TState::Withdrawn) {
    // Without help the encoder failed: its file will not be used.
    if (state_ == TState::Waiting || !help) failed_ = true;
    state_ = TState::Withdrawn;
    changed_.notify_all();
  }
  changed_.wait(lock, [&] { return busy_ == 0; });
}

std::vector<TOwnScan> TSharedScans::Written() {
  const std::lock_guard lock(mutex_);
  if (failed_ || next_ < scans_.size()) return {};
  return std::move(scans_);
}

bool TSharedScans::Take(std::size_t& scan) {
  const std::lock_guard lock(mutex_);
  if (state_ != TState::Ready || next_ == scans_.size()) return false;
  scan = next_++;
  ++busy_;
  return true;
}

void TSharedScans::Done(bool written) {
  const std::lock_guard lock(mutex_);
  failed_ = failed_ || !written;
  --busy_;
  changed_.notify_all();
}

}  // namespace tavren
