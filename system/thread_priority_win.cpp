#include "system/thread_priority.h"
#include "system/wide_text_win.h"

namespace tavren {

// Background mode lowers the thread's scheduling, disk and memory priority
// at once; a refusal only leaves the thread as it was.
void LowerThisThreadPriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN);
}

}  // namespace tavren
