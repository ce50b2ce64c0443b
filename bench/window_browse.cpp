// Browsing a folder in the window as a user sees it: from PgDn until Normal
// stands in the X server's pixels.  The window runs in this process on the
// display (Xvfb with a 1920x1080 screen in bench/window_browse.sh); after
// each key a row across the middle of the view is read back from the
// screen until it changes to the new picture.
//   window_browse FOLDER [--look MS] [--steps N] [--no-read-ahead]
//   window_browse FOLDER --resize [--steps N]
// With --look 0 the next key follows as soon as Normal is on the screen,
// as when the key is held down.  --resize opens each picture in a window
// of 1118x674, maximises it to 1920x1080 and times how long after the
// view's size settled the picture is on the screen again at the new size.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/window_bench.h"
#include "picture_io/folder_pictures.h"
#include "window/image_view.h"
#include "workflow/fixed_texts.h"

namespace {

using Clock = QElapsedTimer;
constexpr qint64 kGiveUpMs = 5000;
constexpr int kSettleMs = 200;  // the window's wait for a size to settle

using bench::Median;

struct TOptions {
  std::string Folder;
  int LookMs = 1500;
  int Steps = 9;
  bool ReadAhead = true;
  bool Resize = false;
};

std::optional<TOptions> Parse(int argc, char** argv) {
  TOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--look" && i + 1 < argc)
      options.LookMs = std::atoi(argv[++i]);
    else if (arg == "--steps" && i + 1 < argc)
      options.Steps = std::atoi(argv[++i]);
    else if (arg == "--no-read-ahead")
      options.ReadAhead = false;
    else if (arg == "--resize")
      options.Resize = true;
    else if (options.Folder.empty())
      options.Folder = arg;
    else
      return std::nullopt;
  }
  if (options.Folder.empty() || options.Steps < 1) return std::nullopt;
  return options;
}

// The folder's pictures in the order PgDn walks them.
std::vector<std::string> PicturesIn(const std::string& folder) {
  std::vector<std::string> paths;
  for (const std::string& name : tavren::PictureNamesInFolder(folder + "/"))
    paths.push_back(folder + "/" + name);
  return paths;
}

// The screen's pixels along the middle row of the view.
QImage ScreenRow(const tavren::TImageView& view) {
  const QPoint left = view.mapToGlobal(QPoint(0, view.height() / 2));
  return QGuiApplication::primaryScreen()
      ->grabWindow(0, left.x(), left.y(), view.width(), 1)
      .toImage();
}

void Idle(int ms) {
  Clock clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
}

// Waits (handling events) until the view's row on the screen differs from
// `before`; the milliseconds of `clock` then, or -1.
double UntilRowChanges(const tavren::TImageView& view, const QImage& before, const Clock& clock) {
  while (clock.elapsed() < kGiveUpMs) {
    QCoreApplication::processEvents();
    if (ScreenRow(view) != before) return static_cast<double>(clock.nsecsElapsed()) / 1e6;
    QThread::usleep(500);
  }
  return -1;
}

bool ShowsNormal(const tavren::TfrmMain& window) {
  const tavren::Image* normal = window.Engine().ResultImages().Get(tavren::ptNormal);
  return window.Engine().CurrentProcessType() == tavren::ptNormal && normal != nullptr &&
         window.View()->Picture() == *normal;
}

// One PgDn: the key goes in as the window's own window receives it.
double StepAndTime(tavren::TfrmMain& window) {
  Clock clock;
  clock.start();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
  QCoreApplication::sendEvent(window.windowHandle(), &press);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_PageDown, Qt::NoModifier);
  QCoreApplication::sendEvent(window.windowHandle(), &release);
  // The key's command has run; what the screen shows now is the old
  // picture (or the new one while its types are computed).  Normal is the
  // next change.
  const double ms = UntilRowChanges(*window.View(), ScreenRow(*window.View()), clock);
  if (!ShowsNormal(window)) std::fprintf(stderr, "window_browse: Normal is not on show\n");
  return ms;
}

void Browse(tavren::TfrmMain& window, const TOptions& options,
            const std::vector<std::string>& pictures) {
  window.OpenImage(pictures.front(), false);
  Idle(options.LookMs);
  std::vector<double> times;
  for (int step = 0; step < options.Steps && step + 1 < static_cast<int>(pictures.size()); ++step) {
    Clock look;
    look.start();
    const double ms = StepAndTime(window);
    times.push_back(ms);
    std::printf("step %d: %.1f ms\n", step + 1, ms);
    Idle(static_cast<int>(std::max<qint64>(0, options.LookMs - look.elapsed())));
  }
#ifdef WINDOW_BROWSE_WITHOUT_READ_AHEAD
  const char* readAhead = "not built in";  // a version without read-ahead
#else
  const char* readAhead = options.ReadAhead ? "on" : "off";
#endif
  std::printf("median PgDn to Normal (look %d ms, read-ahead %s): %.1f ms\n", options.LookMs,
              readAhead, Median(times));
}

// Maximising: from the view's new size on, the window waits kSettleMs, then
// the picture is made again; the time after that until it is on the screen.
void Maximise(tavren::TfrmMain& window, const TOptions& options,
              const std::vector<std::string>& pictures) {
  std::vector<double> times;
  for (int round = 0; round < options.Steps && round < static_cast<int>(pictures.size()); ++round) {
    window.resize(1118, 674);
    Idle(kSettleMs + 300);
    window.OpenImage(pictures[static_cast<std::size_t>(round)], false);
    Idle(1000);
    const QSize small = window.View()->size();
    const tavren::Image* before = window.Engine().BaseImage();
    const QSize beforeBase(before->Width(), before->Height());
    Clock clock;
    clock.start();
    window.resize(1920, 1080);
    double resized = -1;
    double shown = -1;
    while (clock.elapsed() < kGiveUpMs && shown < 0) {
      QCoreApplication::processEvents();
      const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
      if (resized < 0 && window.View()->size() != small) resized = now;
      const tavren::Image* base = window.Engine().BaseImage();
      if (QSize(base->Width(), base->Height()) != beforeBase)
        shown = UntilRowChanges(*window.View(), ScreenRow(*window.View()), clock);
      QThread::usleep(500);
    }
    if (shown < 0 || resized < 0) {
      std::printf("round %d: the picture was not made again\n", round + 1);
      continue;
    }
    times.push_back(shown - resized - kSettleMs);
    std::printf("round %d: on the screen %.1f ms after the size settled\n", round + 1,
                times.back());
  }
  if (!times.empty())
    std::printf("median after maximising: %.1f ms after the size settled\n", Median(times));
  else
    std::printf("median after maximising: never\n");
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const std::optional<TOptions> options = Parse(argc, argv);
  if (!options)
    return bench::Usage(
        "window_browse FOLDER [--look MS] [--steps N] [--no-read-ahead] [--resize]");
  const std::vector<std::string> pictures = PicturesIn(options->Folder);
  if (pictures.size() < 2) {
    std::fprintf(stderr, "window_browse: %s needs at least two pictures\n",
                 options->Folder.c_str());
    return 2;
  }
  tavren::DecodeFixedTexts();
  bench::TBenchWindow bench("window_browse");
  tavren::TfrmMain& window = bench.Window;
#ifndef WINDOW_BROWSE_WITHOUT_READ_AHEAD
  window.SetReadAheadEnabled(options->ReadAhead);
#endif
  bench.Show();
  Idle(500);
  if (options->Resize)
    Maximise(window, *options, pictures);
  else
    Browse(window, *options, pictures);
  return 0;
}
