#include "workflow/termination.h"

#include "system/file_replace.h"
#include "system/termination_requests.h"

namespace tavren {

TTerminationPolicy::Action TTerminationPolicy::OnRequest(Clock::time_point now, bool blocking) {
  if (blocking) return Action::EndNow;
  if (firstRequest_ && now - *firstRequest_ >= grace_) return Action::EndNow;
  if (!firstRequest_) firstRequest_ = now;
  return Action::RequestClose;
}

TTerminationWatch::TTerminationWatch() {
  // Without a watch, requests end the program as usual.
  WatchTerminationRequests([this](int code) { Handle(code); });
}

TTerminationWatch::~TTerminationWatch() { StopWatchingTerminationRequests(); }

void TTerminationWatch::Handle(int code) {
  std::function<void()> saveState;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool blocking = static_cast<bool>(saveState_);
    if (!disarmed_ && policy_.OnRequest(TTerminationPolicy::Clock::now(), blocking) ==
                          TTerminationPolicy::Action::RequestClose) {
      if (armed_)
        requestClose_();
      else
        pending_ = true;
      return;
    }
    saveState = saveState_;
  }
  if (saveState) saveState();
  // A picture being saved on another thread leaves no half-written file.
  RemoveTemporaryFilesInProgress();
  EndProcessForRequest(code);
}

void TTerminationWatch::Arm(std::function<void()> requestClose) {
  std::lock_guard<std::mutex> lock(mutex_);
  requestClose_ = std::move(requestClose);
  armed_ = true;
  if (pending_) requestClose_();
  pending_ = false;
}

void TTerminationWatch::Disarm() {
  std::lock_guard<std::mutex> lock(mutex_);
  disarmed_ = true;
  requestClose_ = nullptr;
}

void TTerminationWatch::SetBlocking(std::function<void()> saveState) {
  std::lock_guard<std::mutex> lock(mutex_);
  saveState_ = std::move(saveState);
}

}  // namespace tavren
