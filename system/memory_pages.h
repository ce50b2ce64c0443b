// Memory straight from the system for large blocks such as pictures, and
// what the system offers to make fresh memory usable sooner.  None of it
// changes a byte in the blocks.
#pragma once

#include <cstddef>

namespace tavren {

// A block of bytes aligned to alignment (a power of two, a multiple of the
// pointer size); null when there is no memory.  Freed by FreeAlignedBlock.
void* AllocateAlignedBlock(std::size_t bytes, std::size_t alignment);
void FreeAlignedBlock(void* block);

// Asks the system to back the block with large pages.  Only advice: where
// the system has none, or refuses, nothing changes.
void AdviseLargePages(void* block, std::size_t bytes);

// True where the system can put memory in place for writing ahead of its
// first touch (PopulateForWrite).
bool CanPopulateForWrite();
// Puts the whole pages of [block, block + bytes) in place for writing;
// false when the system refuses.
bool PopulateForWrite(void* block, std::size_t bytes);

// The machine's physical memory in bytes; 0 when the system does not say.
std::size_t PhysicalMemoryBytes();

}  // namespace tavren
