// Requests from outside to end the program: the session logging out,
// `kill`, Ctrl+C in a terminal (SIGTERM, SIGHUP, SIGINT here).
#pragma once

#include <functional>

namespace tavren {

// From now on each request calls onRequest(code) on a thread of the watch's
// own instead of ending the program; code tells the request (the signal's
// number).  False, with nothing changed, when requests cannot be watched:
// they then end the program as usual.  At most once per process.
bool WatchTerminationRequests(std::function<void(int code)> onRequest);

// Requests take their usual course again.
void StopWatchingTerminationRequests();

// Ends the process at once, as the request `code` ends a program that does
// not catch it, without destructors or exit handlers.
[[noreturn]] void EndProcessForRequest(int code);

// For a program without a watch (the command line): a request first
// removes the temporary files of saves in progress (ReplaceFileContents),
// so that no half-written file is left behind, then takes its usual course
// (so that the caller sees how the program ended).
void RemoveTemporaryFilesOnTermination();

}  // namespace tavren
