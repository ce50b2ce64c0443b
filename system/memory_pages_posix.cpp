#include "system/memory_pages.h"

#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

namespace tavren {

void* AllocateAlignedBlock(std::size_t bytes, std::size_t alignment) {
  void* block = nullptr;
  return posix_memalign(&block, alignment, bytes) == 0 ? block : nullptr;
}

void FreeAlignedBlock(void* block) { std::free(block); }

void AdviseLargePages([[maybe_unused]] void* block, [[maybe_unused]] std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  madvise(block, bytes, MADV_HUGEPAGE);  // only advice
#endif
}

bool CanPopulateForWrite() {
#ifdef MADV_POPULATE_WRITE
  return true;
#else
  return false;
#endif
}

bool PopulateForWrite([[maybe_unused]] void* block, [[maybe_unused]] std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  return madvise(block, bytes, MADV_POPULATE_WRITE) == 0;
#else
  return false;
#endif
}

std::size_t PhysicalMemoryBytes() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
}

}  // namespace tavren
