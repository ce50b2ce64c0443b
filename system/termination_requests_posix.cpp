#include "system/termination_requests.h"

#include <cerrno>
#include <csignal>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "system/file_replace.h"

namespace tavren {

namespace {

constexpr int kRequests[] = {SIGTERM, SIGINT, SIGHUP};

// The handler only writes the signal's number into a pipe (all it may do
// safely); the watch's thread reads it.  Children the program starts get
// the default handlers back and no blocked signals.
int signalPipe[2] = {-1, -1};

void NoteSignal(int signal) {
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = write(signalPipe[1], &number, 1);
}

// The thread waits for the pipe as long as the process lives.
void Watch(const std::function<void(int)>& onRequest) {
  for (;;) {
    unsigned char number = 0;
    const ssize_t got = read(signalPipe[0], &number, 1);
    if (got == 1)
      onRequest(number);
    else if (got == 0 || errno != EINTR)
      return;
  }
}

extern "C" void RemoveTemporaryFilesAndEnd(int signal) {
  RemoveTemporaryFilesInProgress();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

bool WatchTerminationRequests(std::function<void(int code)> onRequest) {
  if (pipe2(signalPipe, O_CLOEXEC) != 0) return false;
  std::thread(Watch, std::move(onRequest)).detach();
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kRequests) sigaction(signal, &action, nullptr);
  return true;
}

void StopWatchingTerminationRequests() {
  for (int signal : kRequests) ::signal(signal, SIG_DFL);
}

void EndProcessForRequest(int code) { _exit(128 + code); }

void RemoveTemporaryFilesOnTermination() {
  for (int signal : kRequests) std::signal(signal, RemoveTemporaryFilesAndEnd);
}

}  // namespace tavren
