// What the window's benchmarks share: a platform layer that only reports,
// the median of the times, and a window of its own at full-HD size.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "window/main_window.h"
#include "window/platform_ui.h"
#include "workflow/files.h"
#include "workflow/picture_cache.h"
#include "workflow/state.h"

namespace bench {

// Beeps and error boxes go to stderr under the benchmark's name.
class TQuietPlatform : public tavren::TPlatform {
 public:
  explicit TQuietPlatform(const char* program) : program_(program) {}
  void Beep() override { std::fprintf(stderr, "%s: a command failed\n", program_); }
  void PushWaitCursor() override {}
  void PopWaitCursor() override {}
  void ShowError(QWidget*, const QString&, const QString& text) override {
    std::fprintf(stderr, "%s: %s\n", program_, qPrintable(text));
  }

 private:
  const char* program_;
};

// Without an X display the window runs offscreen.
inline void OffscreenWithoutDisplay() {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Prints the synopsis; returns the exit status of a usage error.
inline int Usage(const char* synopsis) {
  std::fprintf(stderr, "usage: %s\n", synopsis);
  return 2;
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A main window with an empty cache and no stored state.  Show() brings it
// on screen at 1920x1080 and returns once its start-up is done.
struct TBenchWindow {
  explicit TBenchWindow(const char* program)
      : Platform(program), Window({Files, Cache, State, {}, program}, Platform, {}) {}

  void Show() {
    Window.show();
    Window.resize(1920, 1080);
    while (!Window.StartupDone()) QCoreApplication::processEvents();
  }

  tavren::TFiles Files;
  tavren::TCache Cache;
  tavren::TState State{tavren::MakeFileStateStore("/dev/null/none")};
  TQuietPlatform Platform;
  tavren::TfrmMain Window;
};

}  // namespace bench
