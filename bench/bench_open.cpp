// What the window does when a picture is opened: decode the JPEG, reduce it
// to the view, compute Light, Normal and Deep.  Used by bench/compare.sh,
// which times the whole program against a plain decode of the same file.
//   bench_open [--process-only] PICTURE VIEW_WIDTH VIEW_HEIGHT
// Prints the milliseconds taken; with --process-only the decode is left out
// of them (and of nothing else: the program still decodes first).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "picture_io/picture_files.h"
#include "system/error.h"
#include "workflow/process_engine.h"

int main(int argc, char** argv) {
  int arg = 1;
  const bool processOnly = argc > 1 && std::strcmp(argv[1], "--process-only") == 0;
  if (processOnly) ++arg;
  if (argc - arg != 3) {
    std::fprintf(stderr, "usage: bench_open [--process-only] PICTURE VIEW_WIDTH VIEW_HEIGHT\n");
    return 2;
  }
  const std::string path = argv[arg];
  const int viewWidth = std::atoi(argv[arg + 1]);
  const int viewHeight = std::atoi(argv[arg + 2]);
  using Clock = std::chrono::steady_clock;
  try {
    const Clock::time_point start = Clock::now();
    tavren::Image picture = tavren::LoadPicture(path);
    const Clock::time_point decoded = Clock::now();
    tavren::TProcessEngine engine;
    const tavren::Image* shown = engine.ComputeVariants(std::move(picture), viewHeight, viewWidth);
    const Clock::time_point end = Clock::now();
    if (shown == nullptr) {
      std::fprintf(stderr, "bench_open: %s: no picture\n", path.c_str());
      return 1;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(end - (processOnly ? decoded : start)).count();
    std::printf("%.1f\n", ms);
  } catch (const tavren::TavrenError& e) {
    std::fprintf(stderr, "bench_open: %s: %s\n", e.file().c_str(), e.reason().c_str());
    return 1;
  }
  return 0;
}
