#include <functional>
#include <utility>

#include "system/file_replace.h"
#include "system/termination_requests.h"
#include "system/wide_text_win.h"

namespace tavren {

namespace {

// The status of a console program that Ctrl+C ends.
constexpr UINT kEndedByRequest = 0xC000013AU;

std::function<void(int)>& Watcher() {
  static std::function<void(int)> watcher;
  return watcher;
}

bool IsRequest(DWORD event) {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT ||
         event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

// The system calls console handlers on a thread of their own.
BOOL WINAPI PassOnRequest(DWORD event) {
  if (!IsRequest(event)) return FALSE;
  Watcher()(static_cast<int>(event));
  return TRUE;
}

// FALSE: the next handler, the system's own, ends the program as usual.
BOOL WINAPI RemoveTemporaryFilesFirst(DWORD event) {
  if (IsRequest(event)) RemoveTemporaryFilesInProgress();
  return FALSE;
}

}  // namespace

bool WatchTerminationRequests(std::function<void(int code)> onRequest) {
  Watcher() = std::move(onRequest);
  return SetConsoleCtrlHandler(PassOnRequest, TRUE) != 0;
}

void StopWatchingTerminationRequests() { SetConsoleCtrlHandler(PassOnRequest, FALSE); }

void EndProcessForRequest(int) {
  TerminateProcess(GetCurrentProcess(), kEndedByRequest);
  for (;;) {
  }
}

void RemoveTemporaryFilesOnTermination() { SetConsoleCtrlHandler(RemoveTemporaryFilesFirst, TRUE); }

}  // namespace tavren
