// Which vector instructions the processor offers the kernels that work on
// many values at once, and a switch that sends every such kernel down its
// plain loop instead (tests compare the whole processing both ways).
#pragma once

namespace tavren {

bool ProcessorHasAvx2();
bool ProcessorHasAvx512Bw();    // AVX-512 F and BW
bool ProcessorHasAvx512Vbmi();  // AVX-512 F, BW and VBMI

// False while a ScopedPlainLoops lives anywhere in the process.
bool WideKernelsAllowed();

class ScopedPlainLoops {
 public:
  ScopedPlainLoops();
  ~ScopedPlainLoops();
  ScopedPlainLoops(const ScopedPlainLoops&) = delete;
  ScopedPlainLoops& operator=(const ScopedPlainLoops&) = delete;
};

}  // namespace tavren
