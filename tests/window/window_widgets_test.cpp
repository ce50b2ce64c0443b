#include <QApplication>
#include <QtTest>

#include "workflow/fixed_texts.h"
#include "window/image_view.h"
#include "window/link_label.h"

using namespace tavren;

class WindowWidgetsTest : public QObject {
  Q_OBJECT

 private slots:
  void WidePictureFillsTheWidth() {
    QCOMPARE(FitPictureRect(400, 300, 100, 60), QRect(10, 0, 80, 60));
    QCOMPARE(FitPictureRect(400, 100, 100, 60), QRect(0, 17, 100, 25));
  }
  void TallPictureFillsTheHeight() { QCOMPARE(FitPictureRect(300, 400, 100, 60), QRect(27, 0, 45, 60)); }
  void OddDifferencesRoundToEven() {
    QCOMPARE(CentredPanelOrigin(QSize(681, 409), QSize(580, 306)), QPoint(50, 52));
  }
  void LeftButtonTurnsLinkRedThenPurple() {
    TLinkLabel label("send us");
    const QColor blue = label.palette().color(QPalette::WindowText);
    ColorLink(&label, Qt::RightButton, false);
    QCOMPARE(label.palette().color(QPalette::WindowText), blue);
    ColorLink(&label, Qt::LeftButton, false);
    QCOMPARE(label.palette().color(QPalette::WindowText), QColor(255, 0, 0));
    ColorLink(&label, Qt::LeftButton, true);
    QCOMPARE(label.palette().color(QPalette::WindowText), QColor(128, 0, 128));
  }
  void FeedbackLinkCarriesTheVersion() {
    DecodeFixedTexts();
    QCOMPARE(WebLinkTarget(kLinkFeedback, "0.1.0"), sLinkFeedback + "0.1.0");
    QVERIFY(WebLinkTarget(2, "0.1.0").empty());
  }
};

QTEST_MAIN(WindowWidgetsTest)
#include "window_widgets_test.moc"
