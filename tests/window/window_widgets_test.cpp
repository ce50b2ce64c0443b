#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QScrollBar>
#include <QTextBrowser>
#include <QtTest>

#include "picture_io/picture_formats.h"
#include "window/help_viewer.h"
#include "window/image_view.h"
#include "window/link_label.h"
#include "window/platform_ui.h"
#include "workflow/fixed_texts.h"

using namespace tavren;

class WindowWidgetsTest : public QObject {
  Q_OBJECT

 private slots:
  void WidePictureFillsTheWidth() {
    QCOMPARE(FitPictureRect(400, 300, 100, 60), QRect(10, 0, 80, 60));
    QCOMPARE(FitPictureRect(400, 100, 100, 60), QRect(0, 17, 100, 25));
  }
  void TallPictureFillsTheHeight() {
    QCOMPARE(FitPictureRect(300, 400, 100, 60), QRect(27, 0, 45, 60));
  }
  void PictureMadeForTheViewKeepsItsOwnSize() {
    // A base image of 418 x 400 for a view 400 rows high: the fitted width
    // truncates to 417.
    QCOMPARE(FitPictureRect(418, 400, 800, 400).width(), 417);
    QCOMPARE(ViewPictureRect(418, 400, 800, 400), QRect(191, 0, 418, 400));
    QCOMPARE(ViewPictureRect(400, 300, 100, 60), QRect(10, 0, 80, 60));  // reduced as before
    QCOMPARE(ViewPictureRect(40, 30, 100, 60), QRect(10, 0, 80, 60));    // enlarged as before
  }
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

  // The real dialogs of the platform layer, closed as soon as they show.
  void DialogsCarryTheirTitlesFiltersAndSuffix() {
    TPlatform platform;
    QStringList seen;
    auto closeWhenShown = [&] {
      QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        // What the list of file types shows.
        const auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        QVERIFY(types != nullptr);
        seen << dialog->windowTitle();
        for (int i = 0; i < types->count(); ++i) seen << types->itemText(i);
        seen << dialog->defaultSuffix();
        dialog->reject();
      });
    };
    closeWhenShown();
    QCOMPARE(platform.AskOpenFile(nullptr), QString());
    closeWhenShown();
    QCOMPARE(platform.AskSaveFile(nullptr, QDir::tempPath(), QStringLiteral("x.jpg")), QString());
    // Every picture the program opens first, then JPEG & BMP as they always
    // were, then each other format (AVIF where libheif decodes it).
    const bool avif = IsOpenablePicture("a.avif");
    QStringList expected = {
        QStringLiteral(
            "All Pictures (*.jpg *.jpeg *.jfif *.jpe *.bmp *.heic *.heif *.hif *.png *.tif "
            "*.tiff *.webp%1 *.JPG *.JPEG *.JFIF *.JPE *.BMP *.HEIC *.HEIF *.HIF *.PNG *.TIF "
            "*.TIFF *.WEBP%2)")
            .arg(avif ? " *.avif" : "", avif ? " *.AVIF" : ""),
        "JPEG & BMP Image (*.jpg *.jpeg *.jfif *.jpe *.bmp *.JPG *.JPEG *.JFIF *.JPE *.BMP)",
        "HEIC & HEIF Image (*.heic *.heif *.hif *.HEIC *.HEIF *.HIF)",
        "PNG Image (*.png *.PNG)",
        "TIFF Image (*.tif *.tiff *.TIF *.TIFF)",
        "WebP Image (*.webp *.WEBP)"};
    if (avif) expected << "AVIF Image (*.avif *.AVIF)";
    expected = QStringList({"Open Image"}) + expected +
               QStringList({"jpg", "Save Image", "JPEG  Image (*.jpg *.JPG)", "jpg"});
    QCOMPARE(seen, expected);
  }

  // The help page in the program's own viewer: a click on an entry of its
  // contents moves to that section.
  void HelpViewerFollowsThePagesOwnLinks() {
    THelpViewer viewer(QStringLiteral(TAVREN_HELP_PAGE));
    viewer.resize(600, 400);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QTextBrowser* browser = viewer.Browser();
    QCOMPARE(viewer.windowTitle(), QStringLiteral("Brisolm Tavren Help"));
    QCOMPARE(browser->verticalScrollBar()->value(), 0);
    QTextCursor link = browser->document()->find(
        QStringLiteral("Keys"), 0,
        QTextDocument::FindCaseSensitively | QTextDocument::FindWholeWords);
    QVERIFY(!link.isNull());
    link.setPosition(link.selectionStart() + 1);
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, browser->cursorRect(link).center());
    QTRY_VERIFY(browser->verticalScrollBar()->value() > 0);
    QCOMPARE(browser->source().fragment(), QStringLiteral("keys"));

    THelpViewer missing(QStringLiteral("/nowhere/BrisolmTavren Help.html"));
    QVERIFY(missing.Browser()->toPlainText().contains(
        QStringLiteral("/nowhere/BrisolmTavren Help.html")));
  }
};

QTEST_MAIN(WindowWidgetsTest)
#include "window_widgets_test.moc"
