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

#include "workflow/files.h"
#include "workflow/fixed_texts.h"
#include "window/image_view.h"
#include "window/main_window.h"
#include "window/platform_ui.h"
#include "workflow/state.h"
#include "picture_io/picture_cache.h"

namespace {

class TQuietPlatform : public tavren::TPlatform {
 public:
  void Beep() override { std::fprintf(stderr, "window_open: the picture did not open\n"); }
  void PushWaitCursor() override {}
  void PopWaitCursor() override {}
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_open PICTURE [ROUNDS]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  tavren::DecodeFixedTexts();

  tavren::TFiles files;
  std::vector<double> fromFile;
  std::vector<double> fromCache;
  for (int round = 0; round < rounds; ++round) {
    tavren::TCache cache;
    tavren::TState state(tavren::MakeFileStateStore("/dev/null/none"));
    TQuietPlatform platform;
    tavren::TfrmMain window({files, cache, state, {}, argv[0]}, platform, {});
    window.show();
    window.resize(1920, 1080);
    while (!window.StartupDone()) QCoreApplication::processEvents();
    for (std::vector<double>* times : {&fromFile, &fromCache}) {
      QElapsedTimer clock;
      clock.start();
      window.OpenImage(path, false);
      window.repaint();
      times->push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("round %d (view %dx%d): from the file %.0f ms, from the cache %.0f ms\n",
                round + 1, window.View()->width(), window.View()->height(), fromFile.back(),
                fromCache.back());
  }
  std::printf("median: from the file %.0f ms, from the cache %.0f ms\n", Median(fromFile),
              Median(fromCache));
  return 0;
}
