// Whether the window answers while it opens a large picture: a thread posts
// an event to the window's thread every 10 ms, stamped with the time it was
// posted, and the time until the window's thread handles it is kept.  The
// window runs on the display (Xvfb in bench/window_answer.sh).
//   window_answer PICTURE [ROUNDS]
// Prints, per round, how long the open took and the longest and median
// wait of an event posted meanwhile.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/window_bench.h"
#include "workflow/fixed_texts.h"

namespace {

constexpr auto kPostEvery = std::chrono::milliseconds(10);

// An event carrying the clock's reading when it was posted.
class TStampedEvent : public QEvent {
 public:
  static inline const QEvent::Type kType = static_cast<QEvent::Type>(QEvent::registerEventType());
  explicit TStampedEvent(qint64 postedNs) : QEvent(kType), PostedNs(postedNs) {}
  const qint64 PostedNs;
};

// Lives on the window's thread: notes how long each event waited.
class TReceiver : public QObject {
 public:
  explicit TReceiver(const QElapsedTimer& clock) : clock_(clock) {}
  bool event(QEvent* event) override {
    if (event->type() != TStampedEvent::kType) return QObject::event(event);
    const qint64 posted = static_cast<TStampedEvent*>(event)->PostedNs;
    Waits.push_back(static_cast<double>(clock_.nsecsElapsed() - posted) / 1e6);
    return true;
  }
  std::vector<double> Waits;

 private:
  const QElapsedTimer& clock_;
};

}  // namespace

int main(int argc, char** argv) {
  bench::OffscreenWithoutDisplay();
  QApplication application(argc, argv);
  if (argc < 2) return bench::Usage("window_answer PICTURE [ROUNDS]");
  const std::string path = argv[1];
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  tavren::DecodeFixedTexts();

  std::vector<double> longest;
  for (int round = 0; round < rounds; ++round) {
    bench::TBenchWindow bench("window_answer");
    bench.Show();
    QElapsedTimer clock;
    clock.start();
    TReceiver receiver(clock);
    std::atomic<bool> posting = true;
    std::thread poster([&] {
      while (posting) {
        QCoreApplication::postEvent(&receiver, new TStampedEvent(clock.nsecsElapsed()));
        std::this_thread::sleep_for(kPostEvery);
      }
    });
    const qint64 start = clock.nsecsElapsed();
    bench.Window.OpenImage(path, false);
    const double openMs = static_cast<double>(clock.nsecsElapsed() - start) / 1e6;
    posting = false;
    poster.join();
    QCoreApplication::processEvents();  // the events still waiting count too
    const auto& waits = receiver.Waits;
    const double worst = waits.empty() ? -1 : *std::max_element(waits.begin(), waits.end());
    longest.push_back(worst);
    std::printf("round %d: open %.0f ms, %zu events, longest wait %.1f ms, median %.1f ms\n",
                round + 1, openMs, waits.size(), worst, bench::Median(waits));
  }
  std::printf("median of the longest waits: %.1f ms\n", bench::Median(longest));
  return 0;
}
