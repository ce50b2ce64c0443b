#include "workflow/termination.h"

#include "picture_io/file_replace.h"

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <thread>
#endif

namespace tavren {

TTerminationPolicy::Action TTerminationPolicy::OnRequest(Clock::time_point now, bool blocking) {
  if (blocking) return Action::EndNow;
  if (firstRequest_ && now - *firstRequest_ >= grace_) return Action::EndNow;
  if (!firstRequest_) firstRequest_ = now;
  return Action::RequestClose;
}

#ifndef _WIN32

namespace {

// The handler only writes the signal's number into a pipe (all it may do
// safely); the watch's thread reads it.  Children the program starts get
// the default handlers back and no blocked signals.
int signalPipe[2] = {-1, -1};

void NoteSignal(int signal) {
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = write(signalPipe[1], &number, 1);
}

}  // namespace

TTerminationWatch::TTerminationWatch() {
  if (pipe2(signalPipe, O_CLOEXEC) != 0) return;  // without it, signals end the program as usual
  std::thread(&TTerminationWatch::Watch, this).detach();
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

TTerminationWatch::~TTerminationWatch() {
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::signal(signal, SIG_DFL);
}

// The thread waits for the pipe as long as the process lives.
void TTerminationWatch::Watch() {
  for (;;) {
    unsigned char number = 0;
    const ssize_t got = read(signalPipe[0], &number, 1);
    if (got == 1)
      Handle(number);
    else if (got == 0 || errno != EINTR)
      return;
  }
}

void TTerminationWatch::Handle(int signal) {
  std::function<void()> saveState;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool blocking = static_cast<bool>(saveState_);
    if (!disarmed_ &&
        policy_.OnRequest(TTerminationPolicy::Clock::now(), blocking) ==
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
  _exit(128 + signal);
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

#else

TTerminationWatch::TTerminationWatch() = default;
TTerminationWatch::~TTerminationWatch() = default;
void TTerminationWatch::Arm(std::function<void()>) {}
void TTerminationWatch::Disarm() {}

#endif

void TTerminationWatch::SetBlocking(std::function<void()> saveState) {
  std::lock_guard<std::mutex> lock(mutex_);
  saveState_ = std::move(saveState);
}

}  // namespace tavren
