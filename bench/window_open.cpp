// How long the window takes from "open this 12-megapixel JPEG" until Normal
// is on show, in a window of full-HD size: decode, cache, base image, the
// three automatic types and the repaint.  Runs on the display when there
// is one (for example Xvfb with a 1920x1080 screen), otherwise offscreen,
// where the window may be held to the small offscreen screen.
//   window_open PICTURE [ROUNDS]
// Prints the milliseconds of each open from the file (the cache is emptied
// between rounds) and of each reopen from the cache, then their medians.
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/window_bench.h"
#include "window/image_view.h"
#include "workflow/fixed_texts.h"

using bench::Median;

int main(int argc, char** argv) {
  bench::OffscreenWithoutDisplay();
  QApplication application(argc, argv);
  if (argc < 2) return bench::Usage("window_open PICTURE [ROUNDS]");
  const std::string path = argv[1];
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  tavren::DecodeFixedTexts();

  std::vector<double> fromFile;
  std::vector<double> fromCache;
  for (int round = 0; round < rounds; ++round) {
    bench::TBenchWindow bench("window_open");
    bench.Show();
    tavren::TfrmMain& window = bench.Window;
    for (std::vector<double>* times : {&fromFile, &fromCache}) {
      QElapsedTimer clock;
      clock.start();
      window.OpenImage(path, false);
      window.repaint();
      times->push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("round %d (view %dx%d): from the file %.0f ms, from the cache %.0f ms\n", round + 1,
                window.View()->width(), window.View()->height(), fromFile.back(), fromCache.back());
  }
  std::printf("median: from the file %.0f ms, from the cache %.0f ms\n", Median(fromFile),
              Median(fromCache));
  return 0;
}
