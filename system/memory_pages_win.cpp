#include <malloc.h>

#include <cstdint>

#include "system/memory_pages.h"
#include "system/wide_text_win.h"

namespace tavren {

void* AllocateAlignedBlock(std::size_t bytes, std::size_t alignment) {
  return _aligned_malloc(bytes, alignment);
}

void FreeAlignedBlock(void* block) { _aligned_free(block); }

// Large pages need a privilege a user does not have by default: none here.
void AdviseLargePages(void*, std::size_t) {}

bool CanPopulateForWrite() { return true; }

// Windows has no call that puts fresh pages in place ahead of their first
// write: each page is written once here, by an interlocked exchange that
// writes back the value it finds.  A picture's writer may be writing the
// same page meanwhile; whichever comes first, its bytes stay.
bool PopulateForWrite(void* block, std::size_t bytes) {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  const std::uintptr_t page = system.dwPageSize;
  if (page == 0) return false;
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t end = start + bytes;
  for (std::uintptr_t at = (start + page - 1) / page * page; at < end; at += page)
    InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(at), 0, 0);
  return true;
}

std::size_t PhysicalMemoryBytes() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return static_cast<std::size_t>(status.ullTotalPhys);
}

}  // namespace tavren
