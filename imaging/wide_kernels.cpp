#include "imaging/wide_kernels.h"

#include <atomic>

namespace tavren {

namespace {

std::atomic<int> plainLoopHolders{0};

}  // namespace

#if defined(__x86_64__) || defined(__i386__)

bool ProcessorHasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

bool ProcessorHasAvx512Bw() {
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  return has;
}

bool ProcessorHasAvx512Vbmi() {
  static const bool has = ProcessorHasAvx512Bw() && __builtin_cpu_supports("avx512vbmi");
  return has;
}

#else

bool ProcessorHasAvx2() { return false; }
bool ProcessorHasAvx512Bw() { return false; }
bool ProcessorHasAvx512Vbmi() { return false; }

#endif

bool WideKernelsAllowed() { return plainLoopHolders.load(std::memory_order_relaxed) == 0; }

ScopedPlainLoops::ScopedPlainLoops() { ++plainLoopHolders; }
ScopedPlainLoops::~ScopedPlainLoops() { --plainLoopHolders; }

}  // namespace tavren
