// How the calling thread competes with the program's other threads.
#pragma once

namespace tavren {

// Gives the calling thread the lowest priority the system grants without
// privileges.  It cannot be raised again.  Where the system has no
// per-thread priority this does nothing.
void LowerThisThreadPriority();

}  // namespace tavren
