#include "system/thread_priority.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace tavren {

void LowerThisThreadPriority() {
#if defined(__linux__)
  // On Linux the nice value belongs to the thread; 19 is the lowest.  A
  // refusal only leaves the thread as it was.
  [[maybe_unused]] const int refused = setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
#endif
}

}  // namespace tavren
