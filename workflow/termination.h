// How the window answers a request to end the program (SIGTERM, SIGINT,
// SIGHUP: the session logging out, `kill`, Ctrl+C in a terminal).
//
// A request becomes a normal close through the event loop, so the window
// state is kept as on any close.  But the loop stands still while a long
// open or computation runs, and a program that ignores such a request
// cannot be ended politely.  So a request that arrives during such blocking
// work ends the process at once, and so does a second request once the
// first has waited for a grace period; in both cases the window state taken
// when the work began is saved first.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

namespace tavren {

class TTerminationPolicy {
 public:
  enum class Action { RequestClose, EndNow };
  using Clock = std::chrono::steady_clock;

  explicit TTerminationPolicy(Clock::duration grace) : grace_(grace) {}

  // What to do with a request that arrives at `now`; blocking is true while
  // the window's event loop stands still.
  Action OnRequest(Clock::time_point now, bool blocking);

 private:
  Clock::duration grace_;
  std::optional<Clock::time_point> firstRequest_;
};

// Turns the requests into the policy's actions, on a thread of its own.
// One per process, made at the start of main.
class TTerminationWatch {
 public:
  static constexpr std::chrono::seconds kGrace{3};

  TTerminationWatch();
  // Gives the requests their usual course back.
  ~TTerminationWatch();
  TTerminationWatch(const TTerminationWatch&) = delete;
  TTerminationWatch& operator=(const TTerminationWatch&) = delete;

  // requestClose runs on the watch's thread and must only post the close to
  // the window's thread.  A request that came before is passed on now.
  void Arm(std::function<void()> requestClose);
  // From here on a request ends the process at once (the window is gone).
  void Disarm();

  // Blocking work begins (with what saves the window state as it is now)
  // or ends (with nothing).
  void SetBlocking(std::function<void()> saveState);

 private:
  void Handle(int code);

  std::mutex mutex_;
  TTerminationPolicy policy_{kGrace};
  std::function<void()> requestClose_;
  std::function<void()> saveState_;
  bool armed_ = false;
  bool disarmed_ = false;
  bool pending_ = false;
};

}  // namespace tavren
