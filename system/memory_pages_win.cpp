#include <malloc.h>

#include "system/memory_pages.h"
#include "system/wide_text_win.h"

namespace tavren {

void* AllocateAlignedBlock(std::size_t bytes, std::size_t alignment) {
  return _aligned_malloc(bytes, alignment);
}

void FreeAlignedBlock(void* block) { _aligned_free(block); }

// Large pages need a privilege a user does not have by default: none here.
void AdviseLargePages(void*, std::size_t) {}

bool CanPopulateForWrite() { return false; }

bool PopulateForWrite(void*, std::size_t) { return false; }

std::size_t PhysicalMemoryBytes() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return static_cast<std::size_t>(status.ullTotalPhys);
}

}  // namespace tavren
