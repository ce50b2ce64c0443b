// On a screen that scales by two (run with QT_SCALE_FACTOR=2), the picture
// is made for the view's device pixels and painted one picture pixel per
// device pixel, while the stored sizes stay in the window's units.
#include <QApplication>
#include <QtTest>

#include "enhance/base_image.h"
#include "support/recording_platform.h"
#include "support/test_support.h"
#include "window/image_view.h"
#include "window/main_window.h"
#include "workflow/files.h"
#include "workflow/fixed_texts.h"
#include "workflow/picture_cache.h"
#include "workflow/state.h"

using namespace tavren;

class HighDensityTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { DecodeFixedTexts(); }

  void PictureIsMadeAndPaintedInDevicePixels() {
    test::TempDir dir;
    TFiles files;
    TCache cache;
    TState state(MakeFileStateStore(dir.file("state/Main")));
    test::TRecordingPlatform platform;
    auto window = std::make_unique<TfrmMain>(
        TMainServices{files, cache, state, {}, dir.file("brisolm-tavren")}, platform,
        QStringList());
    window->show();
    window->setWindowState(Qt::WindowNoState);
    window->resize(400, 300);
    QVERIFY(QTest::qWaitFor([&] { return window->StartupDone(); }));
    QCOMPARE(window->devicePixelRatioF(), 2.0);

    window->OpenImage(TAVREN_SAMPLE_PHOTO, false);  // 640 x 480
    const TImageView& view = *window->View();
    const QSize device = view.DeviceSize();
    QCOMPARE(device, view.size() * 2);
    const Image& base = *window->Engine().BaseImage();
    std::int32_t width = 0;
    std::int32_t height = 0;
    QVERIFY(BaseImageSize(640, 480, device.height(), device.width(), width, height));
    QCOMPARE(QSize(base.Width(), base.Height()), QSize(width, height));

    const QImage painted = window->View()->grab().toImage().convertToFormat(QImage::Format_RGB888);
    QCOMPARE(painted.size(), device);
    const QRect at = ViewPictureRect(base.Width(), base.Height(), device.width(), device.height());
    QCOMPARE(at.size(), QSize(base.Width(), base.Height()));
    const Image& normal = view.Picture();
    for (int y = 0; y < normal.Height(); ++y) {
      const std::uint8_t* want = normal.Row(y);
      const std::uint8_t* got = painted.constScanLine(at.y() + y) + 3 * at.x();
      for (int x = 0; x < normal.Width(); ++x)
        QVERIFY2(got[3 * x] == want[3 * x + 2] && got[3 * x + 1] == want[3 * x + 1] &&
                     got[3 * x + 2] == want[3 * x],
                 qPrintable(QStringLiteral("pixel %1, %2").arg(x).arg(y)));
    }

    window->close();  // stores the window's own units
    window.reset();
    TState stored(MakeFileStateStore(dir.file("state/Main")));
    stored.LoadState({4000, 4000}, 400);
    QCOMPARE(stored.Record.FormWidth(), 400);
    QCOMPARE(stored.Record.ViewHeight(), device.height() / 2);
  }
};

QTEST_MAIN(HighDensityTest)
#include "high_density_test.moc"
