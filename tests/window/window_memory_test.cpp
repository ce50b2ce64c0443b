// Stepping through a folder of large photos keeps the program's memory
// bounded: the decoded-picture cache drops the least recently used
// pictures instead of growing with every file, and what read-ahead
// prepares counts against the same bound.
#include <unistd.h>
#include <QApplication>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "jpeg_export/jpeg_encoder.h"
#include "jpeg_export/jpeg_export.h"
#include "support/recording_platform.h"
#include "support/test_support.h"
#include "window/image_view.h"
#include "window/main_window.h"
#include "window/platform_ui.h"
#include "workflow/files.h"
#include "workflow/fixed_texts.h"
#include "workflow/picture_cache.h"
#include "workflow/state.h"

using namespace tavren;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

std::size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t size = 0;
  std::size_t resident = 0;
  statm >> size >> resident;
  return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// A 12-megapixel photo-like picture (smooth, so the file stays small).
void WriteLargePhoto(const std::string& path) {
  Image picture(4000, 3000);
  for (std::int32_t y = 0; y < picture.Height(); ++y) {
    std::uint8_t* row = picture.Row(y);
    for (std::int32_t x = 0; x < picture.Width(); ++x) {
      row[3 * x] = static_cast<std::uint8_t>(x / 16);
      row[3 * x + 1] = static_cast<std::uint8_t>(y / 12);
      row[3 * x + 2] = static_cast<std::uint8_t>((x + y) / 28);
    }
  }
  const std::vector<std::uint8_t> bytes = EncodeJpeg(picture);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

class WindowMemoryTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { DecodeFixedTexts(); }

  void FortyLargePhotosStayWithinTheCacheBound() {
    test::TempDir folder;
    WriteLargePhoto(folder.file("00.jpg"));
    for (int i = 1; i < 40; ++i)
      fs::create_hard_link(folder.file("00.jpg"),
                           folder.file(QString::asprintf("%02d.jpg", i).toStdString()));

    const std::size_t cacheBound = 200 * kMiB;  // about five of these pictures
    TFiles files;
    TCache cache(cacheBound);
    TState state(MakeFileStateStore(folder.file("state")));
    test::TRecordingPlatform platform;
    TfrmMain window({files, cache, state, {}, folder.file("brisolm-tavren")}, platform, {});
    window.show();
    window.resize(780, 560);
    QVERIFY(QTest::qWaitFor([&] { return window.StartupDone(); }));

    // Besides the cache: the view's picture, the engine's full-size copy, a
    // picture being decoded and the allocator's slack.
    const std::size_t margin = 4 * 36 * kMiB + 64 * kMiB;
    const std::size_t start = ResidentBytes();
    std::size_t peak = start;
    window.OpenImage(folder.file("00.jpg"), false);
    // Half the folder with the key held down, half with a look at each
    // picture, long enough for read-ahead to prepare the next one.
    for (int i = 1; i < 40; ++i) {
      if (i > 20) {
        const std::string next = folder.file(QString::asprintf("%02d.jpg", i).toStdString());
        QVERIFY(QTest::qWaitFor(
            [&] {
              peak = std::max(peak, ResidentBytes());
              const TSharedPicture picture = cache.Find(next);
              const QSize limits = window.View()->DeviceSize();
              return picture != nullptr &&
                     window.ReadAhead().Prepared(next, *picture, limits.height(), limits.width());
            },
            60000));
      }
      QTest::keyClick(window.windowHandle(), Qt::Key_PageDown);
      peak = std::max(peak, ResidentBytes());
    }
    QCOMPARE(window.ReadAhead().Served(), 19);
    qInfo("resident size grew by %zu MiB (cache bound %zu MiB)", (peak - start) / kMiB,
          cacheBound / kMiB);
    QCOMPARE(platform.Beeps, 0);
    QCOMPARE(window.windowTitle(), QStringLiteral("39 - Brisolm Tavren"));
    QVERIFY(cache.Bytes() + cache.ReservedBytes() <= cacheBound);
    QVERIFY2(peak - start < cacheBound + margin,
             qPrintable(QStringLiteral("resident size grew by %1 MiB").arg((peak - start) / kMiB)));
  }
};

QTEST_MAIN(WindowMemoryTest)
#include "window_memory_test.moc"
