#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>
#include <string>
#include <vector>

#include "support/recording_platform.h"
#include "window/about_box.h"
#include "window/link_label.h"
#include "window/platform_ui.h"
#include "workflow/fixed_texts.h"

using namespace tavren;
using tavren::test::TRecordingPlatform;

namespace {

const QColor kRed(255, 0, 0);
const QColor kPurple(128, 0, 128);

QColor TextColour(const QWidget* label) { return label->palette().color(QPalette::WindowText); }

}  // namespace

class AboutBoxTest : public QObject {
  Q_OBJECT

 private:
  template <typename T = QWidget>
  static T* Child(TAB& box, const char* name) {
    T* child = box.findChild<T*>(QString::fromLatin1(name));
    if (!child) qFatal("about box has no control %s", name);
    return child;
  }
  static QString Caption(TAB& box, const char* name) { return Child<QLabel>(box, name)->text(); }

 private slots:
  void initTestCase() { DecodeFixedTexts(); }

  void LayoutAndCaptionsFromTheFixedTexts() {
    TRecordingPlatform platform;
    TAB box(platform, [] { return std::string("0.1.0"); });
    QCOMPARE(box.objectName(), QStringLiteral("AB"));
    QCOMPARE(box.windowTitle(), QString::fromStdString(sAboutTitle));
    QCOMPARE(box.size(), QSize(221, 284));
    QCOMPARE(box.minimumSize(), box.maximumSize());
    QCOMPARE(Child(box, "pnA")->geometry(), QRect(10, 10, 201, 226));
    QCOMPARE(Child(box, "imWelProdLogo")->geometry(), QRect(14, 6, 172, 55));
    QCOMPARE(Child(box, "imWelProdLogo")->toolTip(), QStringLiteral("Product Home Page"));
    QVERIFY(!Child<QLabel>(box, "imWelProdLogo")->pixmap().isNull());
    QCOMPARE(Caption(box, "lblA1"), QString::fromStdString(sAboutVersionLabel));
    QCOMPARE(Caption(box, "lblA2"), QString::fromStdString(sAboutProductLink));
    QCOMPARE(Caption(box, "lblA3"), QString::fromStdString(sAboutFeedbackLink));
    QCOMPARE(Child(box, "lblA3")->toolTip(), QString::fromStdString(sAboutFeedbackHint));
    QCOMPARE(Caption(box, "lblA4"), QString::fromStdString(sAboutNotice));
    QCOMPARE(Caption(box, "lblA4").front(), QChar(0xA9));
    QCOMPARE(Caption(box, "lblA5"), QString::fromStdString(sAboutMakerLink));
    QCOMPARE(Child(box, "lblA1")->pos(), QPoint(14, 62));
    QCOMPARE(Child(box, "lblVV")->pos(), QPoint(31, 62));
    QCOMPARE(Child(box, "lblA2")->pos(), QPoint(14, 79));
    QCOMPARE(Child(box, "lblA5")->pos(), QPoint(14, 202));
    auto* ok = Child<QPushButton>(box, "btnA6");
    QCOMPARE(ok->text(), QString::fromStdString(sAboutOK));
    QCOMPARE(ok->geometry(), QRect(73, 247, 75, 25));
    QVERIFY(ok->isDefault());
  }

  // pnA: a lowered outer bevel (dark above and left, light below and right)
  // around a raised inner one (the other way round).
  void PanelHasALoweredOuterAndARaisedInnerBevel() {
    TRecordingPlatform platform;
    TAB box(platform, {});
    QWidget* panel = Child(box, "pnA");
    QImage picture(panel->size(), QImage::Format_RGB32);
    panel->render(&picture);
    const int middleY = panel->height() / 2;
    const int middleX = panel->width() / 2;
    const int right = panel->width() - 1;
    const int bottom = panel->height() - 1;
    auto grey = [&](int x, int y) { return qGray(picture.pixel(x, y)); };
    QVERIFY(grey(0, middleY) < grey(1, middleY));              // outer left dark, inner light
    QVERIFY(grey(middleX, 0) < grey(middleX, 1));              // outer top dark, inner light
    QVERIFY(grey(right, middleY) > grey(right - 1, middleY));  // outer right light, inner dark
    QVERIFY(grey(middleX, bottom) > grey(middleX, bottom - 1));
  }

  // Centred on the screen, not over the window that shows it.
  void BoxStandsInTheMiddleOfTheScreen() {
    TRecordingPlatform platform;
    QWidget owner;
    owner.setGeometry(0, 0, 300, 200);
    owner.show();
    TAB box(platform, {}, &owner);
    box.show();
    const QPoint offset = box.frameGeometry().center() - box.screen()->geometry().center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
  }

  // Captions longer than the box was drawn for (or a wider font than the
  // one it names) must stay whole and inside the panel.
  void EveryCaptionFitsInsideThePanel() {
    TRecordingPlatform platform;
    TAB box(platform, [] { return std::string("10.20.30"); });
    box.show();
    const QRect inside = Child(box, "pnA")->rect().adjusted(2, 2, -2, -2);
    for (const char* name : {"lblA1", "lblVV", "lblA2", "lblA3", "lblA4", "lblA5"}) {
      auto* label = Child<QLabel>(box, name);
      QVERIFY2(inside.contains(label->geometry()), name);
      if (!label->wordWrap()) QVERIFY2(label->width() >= label->sizeHint().width(), name);
    }
    auto* feedback = Child(box, "lblA3");
    QCOMPARE(feedback->y(), 79);
    QVERIFY(feedback->x() <= 149);
    QVERIFY(!feedback->geometry().intersects(Child(box, "lblA2")->geometry()));
    auto* notice = Child<QLabel>(box, "lblA4");
    QVERIFY(notice->y() <= 188);
    QVERIFY(notice->height() >= notice->heightForWidth(notice->width()));
    QVERIFY(notice->geometry().bottom() < Child(box, "lblA5")->y());
  }

  void LinkLabelsAreUnderlinedAndBlue() {
    TRecordingPlatform platform;
    TAB box(platform, {});
    for (const char* name : {"lblA2", "lblA3", "lblA5"}) {
      QWidget* link = Child(box, name);
      QVERIFY(link->font().underline());
      QCOMPARE(link->font().pixelSize(), 12);
      QCOMPARE(TextColour(link), QColor(0, 0, 255));
      QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    }
    QVERIFY(!Child(box, "lblA4")->font().underline());
  }

  void VersionLineIsReadAtEveryShowing() {
    TRecordingPlatform platform;
    std::string version = "0.1.0";
    TAB box(platform, [&version] { return version; });
    box.show();
    QCOMPARE(Caption(box, "lblVV"), QStringLiteral("0.1.0 pre-alpha"));
    box.hide();
    version = "2.3.4";
    QCOMPARE(Caption(box, "lblVV"), QStringLiteral("0.1.0 pre-alpha"));
    box.show();
    QCOMPARE(Caption(box, "lblVV"), QStringLiteral("2.3.4 pre-alpha"));
    // The line grows with its text instead of cutting it off.
    QVERIFY(Child(box, "lblVV")->width() >= Child(box, "lblVV")->sizeHint().width());
  }

  void WithoutAVersionOnlyThePreReleaseMarkShows() {
    TRecordingPlatform platform;
    TAB box(platform, [] { return std::string(); });
    box.show();
    QCOMPARE(Caption(box, "lblVV"), QStringLiteral(" pre-alpha"));
    TAB noFunction(platform, {});
    noFunction.show();
    QCOMPARE(Caption(noFunction, "lblVV"), QStringLiteral(" pre-alpha"));
  }

  void EscapeAndEnterCloseWithTheOkResult_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Esc") << int(Qt::Key_Escape);
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
  }
  void EscapeAndEnterCloseWithTheOkResult() {
    QFETCH(int, key);
    TRecordingPlatform platform;
    TAB box(platform, {});
    box.setResult(QDialog::Rejected);
    box.show();
    QTest::keyClick(&box, Qt::Key(key));
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Accepted));
  }

  void OkButtonClosesWithTheOkResult() {
    TRecordingPlatform platform;
    TAB box(platform, {});
    box.show();
    QTest::mouseClick(Child(box, "btnA6"), Qt::LeftButton);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Accepted));
  }

  void LinksOpenTheirTargets() {
    TRecordingPlatform platform;
    std::string version = "0.1.0";
    TAB box(platform, [&version] { return version; });
    box.show();
    QTest::mouseClick(Child(box, "imWelProdLogo"), Qt::LeftButton);
    QTest::mouseClick(Child(box, "lblA2"), Qt::LeftButton);
    QTest::mouseClick(Child(box, "lblA5"), Qt::LeftButton);
    QTest::mouseClick(Child(box, "lblA3"), Qt::LeftButton);
    // The feedback link names the version of the moment, not that of the showing.
    version = "0.2.0";
    QTest::mouseClick(Child(box, "lblA3"), Qt::LeftButton);
    QStringList opened;
    for (const QUrl& url : platform.Urls) opened << url.toString();
    QStringList expected;
    for (const std::string& link : {sLinkProductPage, sLinkProductPage, sLinkMakerHome,
                                    sLinkFeedback + "0.1.0", sLinkFeedback + "0.2.0"})
      expected << QString::fromStdString(link);
    QCOMPARE(opened, expected);
    QVERIFY(box.isVisible());
  }

  void RightButtonNeitherOpensNorRecolours() {
    TRecordingPlatform platform;
    TAB box(platform, [] { return std::string("0.1.0"); });
    box.show();
    QWidget* link = Child(box, "lblA2");
    const QColor before = TextColour(link);
    QTest::mousePress(link, Qt::RightButton);
    QCOMPARE(TextColour(link), before);
    QTest::mouseRelease(link, Qt::RightButton);
    QCOMPARE(TextColour(link), before);
    QTest::mouseClick(Child(box, "imWelProdLogo"), Qt::RightButton);
    QVERIFY(platform.Urls.isEmpty());
  }

  void LeftPressRedReleasePurpleAndPurpleStays() {
    TRecordingPlatform platform;
    TAB box(platform, [] { return std::string("0.1.0"); });
    box.show();
    QWidget* link = Child(box, "lblA3");
    QTest::mousePress(link, Qt::LeftButton);
    QCOMPARE(TextColour(link), kRed);
    QTest::mouseRelease(link, Qt::LeftButton);
    QCOMPARE(TextColour(link), kPurple);
    // A later showing keeps the mark of the visited link.
    box.hide();
    box.show();
    QCOMPARE(TextColour(link), kPurple);
    QCOMPARE(TextColour(Child(box, "lblA5")), QColor(0, 0, 255));
  }
};

QTEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"
