// The main window driven as a user drives it: start-up, intake, keys,
// click-to-cycle, folder stepping, saving and the stored window state.
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "enhance/base_image.h"
#include "enhance/process_types.h"
#include "jpeg_export/jpeg_export.h"
#include "picture_io/picture_files.h"
#include "picture_io/picture_formats.h"
#include "picture_io/picture_limits.h"
#include "picture_io/picture_metadata.h"
#include "support/exif_builder.h"
#include "support/recording_platform.h"
#include "support/test_support.h"
#include "system/error.h"
#include "system/file_bytes.h"
#include "system/file_replace.h"
#include "window/image_view.h"
#include "window/main_window.h"
#include "window/platform_ui.h"
#include "workflow/files.h"
#include "workflow/fixed_texts.h"
#include "workflow/picture_cache.h"
#include "workflow/state.h"

using namespace tavren;
using tavren::test::TRecordingPlatform;
namespace fs = std::filesystem;

namespace {

// A file copied into a test folder.
std::string CopyInto(const test::TempDir& dir, const std::string& source, const std::string& name) {
  const std::string target = dir.file(name);
  fs::copy_file(test::TestDataPath(source), target, fs::copy_options::overwrite_existing);
  return target;
}

// One window with its own shared objects, state file and platform.
struct TWindowRig {
  explicit TWindowRig(QStringList arguments = {}, const std::string& statePath = {}) {
    const fs::path record = statePath.empty() ? Dir.file("state/Main") : statePath;
    State = std::make_unique<TState>(
        MakeFileStateStore(record.string()),
        MakeFileStateStore((record.parent_path() / "KeepMetadata").string(), TStoredKind::Number));
    Window = std::make_unique<TfrmMain>(
        TMainServices{Files, Cache, *State, [] { return std::string("1.2.3"); },
                      Dir.file("brisolm-tavren")},
        Platform, std::move(arguments));
  }
  // Shows the window at a known size and waits for the start-up steps.
  void Show() {
    Window->show();
    Window->setWindowState(Qt::WindowNoState);
    Window->resize(780, 560);
    QVERIFY(QTest::qWaitFor([&] { return Window->StartupDone(); }));
    QCoreApplication::processEvents();
  }
  // Shows the window at 400 x 300 and opens path in it: the sample photo
  // arrives reduced.
  void ShowSmallWith(const std::string& path) {
    Show();
    Window->resize(400, 300);
    QCoreApplication::processEvents();
    Window->OpenImage(path, false);
  }
  template <typename T = QWidget>
  T* Find(const char* name) const {
    return Window->findChild<T*>(QString::fromLatin1(name));
  }
  QToolButton* Button(const char* name) const { return Find<QToolButton>(name); }
  QAction* KeepMetadata() const {
    return Find<QMenu>("pmSave")->findChild<QAction*>("miKeepMetadata");
  }
  const Image& Shown() const { return Window->View()->Picture(); }
  const Image& Result(int type) const { return *Window->Engine().ResultImages().Get(type); }
  void ClickView() { QTest::mouseClick(Window->View(), Qt::LeftButton); }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(Window->windowHandle(), key, modifiers);
  }
  QString SizeText() const { return Find<QLabel>("sbMainSize")->text(); }
  QString Message() const { return Find<QLabel>("sbMainMessage")->text(); }
  // Read-ahead holds Normal and the other types of path for the view.
  bool Prepared(const std::string& path) {
    const TSharedPicture picture = Cache.Find(path);
    const QSize limits = Window->View()->DeviceSize();
    return picture != nullptr &&
           Window->ReadAhead().Prepared(path, *picture, limits.height(), limits.width());
  }

  test::TempDir Dir;
  TFiles Files;
  TCache Cache;
  std::unique_ptr<TState> State;
  TRecordingPlatform Platform;
  std::unique_ptr<TfrmMain> Window;
};

// What the message panel says about a file the intake refuses: its name and
// the intake's reason.
QString RefusalMessage(const std::string& path) {
  try {
    LoadPicture(path);
  } catch (const TavrenError& error) {
    return QString::fromStdString(fs::path(path).filename().string() + ": " + error.reason());
  }
  return {};
}

// The first part of a JPEG file: it ends before the picture does.
std::string WriteCutJpeg(const test::TempDir& dir, const std::string& name) {
  std::ifstream in(test::TestDataPath("small_photo.jpg"), std::ios::binary);
  std::string bytes(std::istreambuf_iterator<char>(in), {});
  const std::string path = dir.file(name);
  std::ofstream(path, std::ios::binary) << bytes.substr(0, bytes.size() / 3);
  return path;
}

// What `tavren enhance --keep-metadata` writes for source with the given
// type, or, where the command is not built, the function it calls.
std::vector<std::uint8_t> KeptByTheCommand(const std::string& source, TProcessType type,
                                           const std::string& target) {
#ifdef TAVREN_CLI_PATH
  QProcess command;
  command.start(
      QStringLiteral(TAVREN_CLI_PATH),
      {"enhance", "--keep-metadata", "--type", QString::fromLatin1(TypeUserName(type)).toLower(),
       "-o", QString::fromStdString(target), QString::fromStdString(source)});
  if (!command.waitForFinished(120000) || command.exitCode() != 0) return {};
#else
  SaveJpegWithExif(*ProcessedCopy(LoadPicture(source), TypePresets[type]), target, source,
                   TMetadataCarryOver::Everything);
#endif
  return ReadFileBytes(target);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { DecodeFixedTexts(); }

  void StartsInTheWelcomePhase() {
    TWindowRig rig;
    rig.Show();
    QCOMPARE(rig.Window->windowTitle(), QStringLiteral("Brisolm Tavren"));
    QVERIFY(rig.Find("pnWelcome")->isVisible());
    QCOMPARE(rig.Find<QLabel>("lblWelVersion")->text(), QStringLiteral("Version 1.2.3"));
    for (const char* name : {"tbtSave", "tbtCopyToClipboard", "tbt0Off", "tbt1Weak", "tbt2Normal",
                             "tbt3Strong", "tbt99ManualTuning", "tbtPrev", "tbtNext"}) {
      QVERIFY2(!rig.Button(name)->isEnabled(), name);
      QVERIFY2(!rig.Button(name)->isChecked(), name);  // no type is down yet
    }
    QVERIFY(rig.Button("tbtOpen")->isEnabled());
    QVERIFY(rig.Button("tbtHelp")->isEnabled());
    QVERIFY(rig.Find("pnManualTuning")->isHidden());
  }

  void ShowsTheFixedTextsOfTheWindow() {
    TWindowRig rig;
    rig.Show();
    const QStringList hints = {"tbtOpen",
                               "Open Image (Ctrl-O)",
                               "tbtSave",
                               "Save Image (Ctrl-S)",
                               "tbtCopyToClipboard",
                               "Copy To Clipboard (Ctrl-C)",
                               "tbtPasteFromClipboard",
                               "Paste From Clipboard (Ctrl-V)",
                               "tbtPrev",
                               "Previous File (PgUp)",
                               "tbtNext",
                               "Next File (PgDown)",
                               "tbt0Off",
                               "Original",
                               "tbt1Weak",
                               "Light",
                               "tbt2Normal",
                               "Normal",
                               "tbt3Strong",
                               "Deep",
                               "tbt99ManualTuning",
                               "Manual Tuning",
                               "tbtHelp",
                               "Help"};
    for (qsizetype i = 0; i < hints.size(); i += 2)
      QCOMPARE(rig.Button(qPrintable(hints[i]))->toolTip(), hints[i + 1]);
    QCOMPARE(rig.Window->View()->toolTip(),
             QStringLiteral("Click to switch to next processing type"));

    auto* heading = rig.Find<QLabel>("lblWelHeading");
    QCOMPARE(heading->text(), QStringLiteral("Qiuck Start Help"));
    QVERIFY(!heading->font().bold());
    QCOMPARE(rig.Find<QPushButton>("sbtWelOpen")->text(), QStringLiteral("Open Image File"));
    QCOMPARE(rig.Find<QPushButton>("sbtWelPaste")->text(),
             QStringLiteral("Paste Image From Clipboard"));
    QString drop =
        QTextDocumentFragment::fromHtml(rig.Find<QLabel>("pnWelDrop")->text()).toPlainText();
    drop.remove(QChar::ObjectReplacementCharacter).replace(QChar::Nbsp, QLatin1Char(' '));
    QCOMPARE(drop, QStringLiteral("            Drad and Drop Image File"));
    QStringList texts;
    for (const QLabel* label : rig.Find("pnWelcome")->findChildren<QLabel*>())
      texts << label->text();
    QVERIFY(texts.contains(QStringLiteral(
        "Then click on image to switch between processing types. Choose best one and save it.")));
    QCOMPARE(rig.Find<QLabel>("lblTechLink")->text(), QStringLiteral("techologies."));
    QCOMPARE(rig.Find<QLabel>("Label22")->text(), QStringLiteral("send us"));
    QCOMPARE(rig.Find("imWelProdLogo")->toolTip(), QStringLiteral("Brisolm Tavren Product Page"));
    QCOMPARE(rig.Find("lblWelVersion")->toolTip(), QStringLiteral("Product Home Page"));
  }

  void WarnsAboutAnUnsupportedCommandLineFile() {
    TWindowRig rig({QStringLiteral("/somewhere/photo.gif")});
    rig.Show();
    QCOMPARE(rig.Platform.Warnings,
             QStringList({"Open Image - photo.gif", "Format GIF not supported."}));
    QVERIFY(rig.Find("pnWelcome")->isVisible());

    TWindowRig bare({QStringLiteral("/somewhere/README")});
    bare.Show();
    QCOMPARE(bare.Platform.Warnings,
             QStringList({"Open Image - README", "Format  not supported."}));
  }

  void OpensTheCommandLinePictureUnreducedOnFirstRun() {
    test::TempDir pictures;
    const std::string path = CopyInto(pictures, "small_photo.jpg", "small_photo.jpg");
    TWindowRig rig({QString::fromStdString(path)});
    rig.Show();
    QCOMPARE(rig.Window->windowTitle(), QStringLiteral("small_photo - Brisolm Tavren"));
    QVERIFY(rig.Button("tbt2Normal")->isChecked());
    QVERIFY(!rig.Window->Engine().BaseReduced());  // the stored view size is 0 on a first run
    QCOMPARE(rig.Shown(), rig.Result(ptNormal));
    QCOMPARE(rig.SizeText(), QStringLiteral("100 x 68"));
    QVERIFY(rig.Find("pnWelcome")->isHidden());
    QVERIFY(rig.Button("tbtNext")->isEnabled());
    QCOMPARE(rig.Platform.WaitDepth, 0);
  }

  void StoredViewSizeReducesTheCommandLinePicture() {
    test::TempDir settings;
    const std::string statePath = settings.file("Main");
    TState(MakeFileStateStore(statePath)).SaveState(0, 500, 700, 120, 160);
    TWindowRig rig({QStringLiteral(TAVREN_SAMPLE_PHOTO)}, statePath);
    rig.Show();
    QVERIFY(rig.Window->Engine().BaseReduced());
    QCOMPARE(rig.Window->Engine().BaseImage()->Width(), 160);
    QCOMPARE(rig.Window->Engine().BaseImage()->Height(), 120);
    QCOMPARE(rig.SizeText(), QStringLiteral("640 x 480"));  // an opened file shows its full size
  }

  void KeyTableRunsCommandsOnlyForItsKeys() {
    TWindowRig rig;
    rig.Show();
    rig.Key(Qt::Key_PageUp);
    QCOMPARE(rig.Platform.Beeps, 1);
    rig.Key(Qt::Key_PageDown, Qt::ShiftModifier);
    QCOMPARE(rig.Platform.Beeps, 2);
    rig.Key(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(rig.Platform.OpenAsked, 0);
    rig.Key(Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(rig.Platform.OpenAsked, 1);  // cancelled: nothing else happens
    QCOMPARE(rig.Platform.Beeps, 2);
    rig.Key(Qt::Key_F1);
    QCOMPARE(rig.Platform.Documents.size(), 1);
    QVERIFY(rig.Platform.Documents.constFirst().endsWith("/BrisolmTavren Help.html"));
    QVERIFY(rig.Platform.HelpViewers.isEmpty());
    // Without a program of the desktop for the page, the program shows it.
    rig.Platform.DocumentOpens = false;
    rig.Button("tbtHelp")->click();
    QCOMPARE(rig.Platform.HelpViewers, rig.Platform.Documents.mid(1));
    rig.Key(Qt::Key_S, Qt::ControlModifier);  // nothing to save yet
    QCOMPARE(rig.Platform.Beeps, 3);
    rig.Key(Qt::Key_C, Qt::ControlModifier);  // nor to copy
    QCOMPARE(rig.Platform.Beeps, 4);
    QCOMPARE(rig.Message(), QStringLiteral("No picture to copy yet."));
  }

  void OpenUsesTheCacheAfterTheFileIsGone() {
    test::TempDir pictures;
    const std::string path = CopyInto(pictures, "small_photo.jpg", "a.jpg");
    TWindowRig rig;
    rig.Show();
    rig.Platform.OpenAnswer = QString::fromStdString(path);
    rig.Key(Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(rig.Window->windowTitle(), QStringLiteral("a - Brisolm Tavren"));
    const Image normal = rig.Shown();
    rig.ClickView();  // Original
    fs::remove(path);
    rig.Key(Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(rig.Platform.Beeps, 0);
    QVERIFY(rig.Button("tbt2Normal")->isChecked());
    QCOMPARE(rig.Shown(), normal);
    QCOMPARE(rig.SizeText(), QStringLiteral("100 x 68"));
  }

  // Each way in to a file that cannot be read: a beep, the previous picture
  // stays, and the message panel names the file and the reason until a
  // command succeeds.
  void EveryRouteSaysWhichFileFailedAndWhy() {
    test::TempDir pictures;
    const std::string good = CopyInto(pictures, "small_photo.jpg", "1.jpg");
    const std::string bad = WriteCutJpeg(pictures, "2.jpg");
    const QString badMessage = RefusalMessage(bad);
    QVERIFY(badMessage.startsWith(QStringLiteral("2.jpg: ")));

    TWindowRig atStart({QString::fromStdString(bad)});
    atStart.Show();
    QCOMPARE(atStart.Platform.Beeps, 1);
    QCOMPARE(atStart.Message(), badMessage);

    TWindowRig rig;
    rig.Show();
    rig.Window->OpenImage(good, false);
    QCOMPARE(rig.Message(), QStringLiteral("Normal"));
    const Image shown = rig.Shown();
    rig.Platform.OpenAnswer = QString::fromStdString(bad);
    rig.Key(Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(rig.Platform.Beeps, 1);
    QCOMPARE(rig.Message(), badMessage);
    QCOMPARE(rig.Shown(), shown);
    QCOMPARE(rig.Window->windowTitle(), QStringLiteral("1 - Brisolm Tavren"));
    QVERIFY(rig.Button("tbtSave")->isEnabled());
    QCOMPARE(rig.Platform.WaitDepth, 0);

    rig.Button("tbt3Strong")->click();
    QCOMPARE(rig.Message(), QStringLiteral("Deep"));
    rig.Window->DropFiles({QString::fromStdString(bad)});
    QCOMPARE(rig.Platform.Beeps, 2);
    QCOMPARE(rig.Message(), badMessage);
    rig.Window->DropFiles({QString::fromStdString(pictures.file("notes.txt"))});
    QCOMPARE(rig.Platform.Beeps, 3);
    QVERIFY(rig.Message().startsWith(QStringLiteral("notes.txt: ")));

    rig.Key(Qt::Key_PageDown);  // onto 2.jpg
    QCOMPARE(rig.Platform.Beeps, 4);
    QCOMPARE(rig.Message(), badMessage);
    QCOMPARE(rig.Shown(), rig.Result(ptDeep));

    QGuiApplication::clipboard()->setText(QStringLiteral("only text"));
    rig.Key(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(rig.Platform.Beeps, 5);
    QCOMPARE(rig.Message(), QStringLiteral("Pasted Image: the clipboard holds no picture"));

    // A save that fails: the normal cursor is back before the error box.
    rig.Platform.SaveAnswer = QString::fromStdString(pictures.file("missing/out.jpg"));
    rig.Key(Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(rig.Platform.Errors.size(), 2);
    QVERIFY(
        rig.Platform.Errors[1].contains(QString::fromStdString(pictures.file("missing/out.jpg"))));
    QCOMPARE(rig.Platform.WaitDepthAtError, 0);
    QVERIFY(rig.Message().startsWith(QStringLiteral("out.jpg: ")));
    QCOMPARE(rig.Platform.WaitDepth, 0);
  }

  void DropOpensTheFirstSupportedFileOnly() {
    test::TempDir pictures;
    const std::string first = CopyInto(pictures, "small_photo.jpg", "first.jpg");
    const std::string second = CopyInto(pictures, "jpeg_colour.jpg", "second.jpg");
    TWindowRig rig;
    rig.Show();
    rig.Window->DropFiles({QStringLiteral("/somewhere/photo.gif")});
    QCOMPARE(rig.Platform.Beeps, 1);
    QVERIFY(rig.Find("pnWelcome")->isVisible());
    rig.Window->DropFiles({QString::fromStdString(first), QString::fromStdString(second),
                           QString::fromStdString(second)});
    QCOMPARE(rig.Window->windowTitle(), QStringLiteral("first - Brisolm Tavren"));
    QCOMPARE(rig.Platform.Beeps, 1);
  }

  void PasteShowsTheBaseSizeAndFailsWithABeep() {
    TWindowRig rig;
    rig.Show();
    QGuiApplication::clipboard()->setText(QStringLiteral("only text"));
    rig.Key(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(rig.Platform.Beeps, 1);
    QVERIFY(rig.Button("tbtSave")->isEnabled());   // a failed paste enables saving ...
    QVERIFY(!rig.Button("tbtPrev")->isEnabled());  // ... but no stepping without a file
    QVERIFY(!rig.Button("tbtNext")->isEnabled());
    QTRY_VERIFY(!rig.Button("tbtPasteFromClipboard")->isEnabled());

    QImage picture(3000, 2000, QImage::Format_RGB32);
    picture.fill(QColor(90, 120, 150));
    QGuiApplication::clipboard()->setImage(picture);
    QTRY_VERIFY(rig.Button("tbtPasteFromClipboard")->isEnabled());
    // Above the picture limit a paste is refused as an opened file is.
    SetMaxPicturePixels(5'000'000);
    rig.Key(Qt::Key_V, Qt::ControlModifier);
    SetMaxPicturePixels(kDefaultMaxPicturePixels);
    QCOMPARE(rig.Platform.Beeps, 2);
    QVERIFY(rig.Message().contains(QStringLiteral("3000 x 2000 pixels")));
    QVERIFY(rig.Message().contains(QStringLiteral("above the limit")));
    rig.Key(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(rig.Platform.Beeps, 2);
    QCOMPARE(rig.Window->windowTitle(), QStringLiteral("Pasted Image - Brisolm Tavren"));
    QVERIFY(rig.Window->Engine().BaseReduced());
    const Image& base = *rig.Window->Engine().BaseImage();
    QCOMPARE(rig.SizeText(), QStringLiteral("%1 x %2").arg(base.Width()).arg(base.Height()));
    QVERIFY(base.Width() < 3000);
    QVERIFY(!rig.Button("tbtNext")->isEnabled());
    rig.Key(Qt::Key_PageDown);  // a pasted picture has no folder
    QCOMPARE(rig.Platform.Beeps, 3);
  }

  void ClicksCycleThroughTheTypes() {
    test::TempDir pictures;
    TWindowRig rig;
    rig.Show();
    rig.Window->OpenImage(CopyInto(pictures, "small_photo.jpg", "c.jpg"), false);
    QCOMPARE(rig.Shown(), rig.Result(ptNormal));
    const struct {
      TProcessType Type;
      const char* Button;
    } expected[] = {{ptOriginal, "tbt0Off"}, {ptLight, "tbt1Weak"},   {ptNormal, "tbt2Normal"},
                    {ptDeep, "tbt3Strong"},  {ptOriginal, "tbt0Off"}, {ptLight, "tbt1Weak"}};
    for (const auto& step : expected) {
      rig.ClickView();
      QVERIFY2(rig.Button(step.Button)->isChecked(), step.Button);
      QCOMPARE(rig.Shown(), rig.Result(step.Type));
      QCOMPARE(rig.Message(), QString::fromLatin1(TypeUserName(step.Type)));
    }
    for (const auto& step : expected) {
      rig.Button(step.Button)->click();
      QCOMPARE(rig.Message(), QString::fromLatin1(TypeUserName(step.Type)));
    }
    rig.Button("tbt3Strong")->click();
    QCOMPARE(rig.Shown(), rig.Result(ptDeep));
    rig.ClickView();
    QCOMPARE(rig.Shown(), rig.Result(ptOriginal));
    // The pressed type's button runs its type again, which clears a failure.
    rig.Key(Qt::Key_PageDown);  // the folder holds no other picture
    QCOMPARE(rig.Platform.Beeps, 1);
    rig.Button("tbt0Off")->click();
    QCOMPARE(rig.Message(), QStringLiteral("Original"));
  }

  void ManualTuningStartsAsNormalAndComparesWhileHeld() {
    test::TempDir pictures;
    TWindowRig rig;
    rig.Show();
    rig.Window->OpenImage(CopyInto(pictures, "small_photo.jpg", "m.jpg"), false);
    const Image normal = rig.Shown();
    rig.Button("tbt99ManualTuning")->click();
    QVERIFY(rig.Find("pnManualTuning")->isVisible());
    QCOMPARE(rig.Shown(), normal);
    QCOMPARE(rig.Message(), QStringLiteral("Manual Tuning"));
    QTest::mousePress(rig.Window->View(), Qt::LeftButton);
    QCOMPARE(rig.Shown(), rig.Result(ptOriginal));
    QCOMPARE(rig.Message(), QStringLiteral("Original (held)"));
    QTest::mouseRelease(rig.Window->View(), Qt::LeftButton);
    QCOMPARE(rig.Shown(), normal);
    QCOMPARE(rig.Message(), QStringLiteral("Manual Tuning"));
    QVERIFY(rig.Button("tbt99ManualTuning")->isChecked());
    rig.Button("tbt1Weak")->click();
    QVERIFY(rig.Find("pnManualTuning")->isHidden());

    // Lumora Off and Clarivex Off: the manual result is the base image.
    rig.Button("tbt99ManualTuning")->click();
    QTest::mouseClick(rig.Find("rbLM0Off"), Qt::LeftButton);
    QTest::mouseClick(rig.Find("rbCX0Off"), Qt::LeftButton);
    QCOMPARE(rig.Shown(), *rig.Window->Engine().BaseImage());
    // The close image goes back to Original, whatever was pressed before.
    QTest::mouseClick(rig.Find("imFTClose"), Qt::LeftButton);
    QVERIFY(rig.Button("tbt0Off")->isChecked());
    QVERIFY(rig.Find("pnManualTuning")->isHidden());
    QCOMPARE(rig.Shown(), rig.Result(ptOriginal));
    QCOMPARE(rig.Platform.WaitDepth, 0);
  }

  void PageKeysStepThroughTheFolder() {
    test::TempDir pictures;
    CopyInto(pictures, "small_photo.jpg", "1.jpg");
    CopyInto(pictures, "jpeg_colour.jpg", "2.JPG");
    CopyInto(pictures, "bmp_rose16_24.bmp", "3.bmp");
    CopyInto(pictures, "small_photo.jpg", "x.gif");
    TWindowRig rig;
    rig.Show();
    rig.Window->OpenImage(pictures.file("1.jpg"), false);
    const char* forward[] = {"2 - Brisolm Tavren", "3 - Brisolm Tavren"};
    for (const char* caption : forward) {
      rig.Key(Qt::Key_PageDown);
      QCOMPARE(rig.Window->windowTitle(), QString::fromLatin1(caption));
    }
    rig.Key(Qt::Key_PageDown);
    QCOMPARE(rig.Platform.Beeps, 1);
    rig.Button("tbtPrev")->click();
    rig.Key(Qt::Key_PageUp);
    QCOMPARE(rig.Window->windowTitle(), QStringLiteral("1 - Brisolm Tavren"));
    rig.Key(Qt::Key_PageUp);
    QCOMPARE(rig.Platform.Beeps, 2);
  }

  // One good and one damaged file of every kind, in navigation order: each
  // good one opens, each damaged one beeps and leaves the previous picture,
  // and the next step goes on from it.
  void PageKeysStepThroughEveryKind() {
    for (const char* tool : {"convert", "heif-enc", "cwebp"})
      if (!test::HaveTool(tool)) QSKIP("a tool that makes the sample files is missing");
    test::TempDir pictures;
    const std::string photo = test::TestDataPath("small_photo.jpg");
    std::vector<std::string> names = {"a.jpg", "b.bmp", "c.heic", "d.png", "e.tif", "f.webp"};
    if (IsOpenablePicture("g.avif")) names.push_back("g.avif");
    for (const std::string& name : names) {
      const std::string good = pictures.file(name.substr(0, 1) + "1" + name.substr(1));
      QVERIFY(test::MakePicture(photo, good));
      std::vector<std::uint8_t> bytes = ReadFileBytes(good);
      bytes.resize(bytes.size() * 3 / 5);
      WriteFileAtomically(pictures.file(name.substr(0, 1) + "2" + name.substr(1)), bytes);
    }
    TWindowRig rig;
    rig.Show();
    rig.Window->OpenImage(pictures.file("a1.jpg"), false);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const QString good = QString::fromStdString(names[i].substr(0, 1)) + "1 - Brisolm Tavren";
      if (i > 0) {
        rig.Key(Qt::Key_PageDown);
        QCOMPARE(rig.Window->windowTitle(), good);
        QCOMPARE(rig.SizeText(), QStringLiteral("100 x 68"));
      }
      const Image shown = rig.Shown();
      rig.Key(Qt::Key_PageDown);  // onto the damaged file
      QCOMPARE(rig.Platform.Beeps, static_cast<int>(i) + 1);
      QCOMPARE(rig.Window->windowTitle(), good);
      QCOMPARE(rig.Shown(), shown);
    }
    QCOMPARE(rig.Platform.WaitDepth, 0);
  }

  void SteppingOntoAPreparedPictureStartsAsAPlainOpen() {
    test::TempDir pictures;
    CopyInto(pictures, "small_photo.jpg", "1.jpg");
    const std::string second = CopyInto(pictures, "jpeg_colour.jpg", "2.jpg");
    std::ofstream(pictures.file("3.jpg"), std::ios::binary) << "\xFF\xD8\xFF\xE0 damaged";
    CopyInto(pictures, "jpeg_colour_progressive.jpg", "4.jpg");
    TWindowRig rig;
    rig.Show();
    rig.Window->OpenImage(pictures.file("1.jpg"), false);
    rig.Button("tbt99ManualTuning")->click();
    QTest::mouseClick(rig.Find("rbLM3Strong"), Qt::LeftButton);
    QTRY_VERIFY(rig.Prepared(second));
    rig.Key(Qt::Key_PageDown);
    QCOMPARE(rig.Window->ReadAhead().Served(), 1);
    QCOMPARE(rig.Window->windowTitle(), QStringLiteral("2 - Brisolm Tavren"));
    QVERIFY(rig.Button("tbt2Normal")->isChecked());
    QVERIFY(rig.Find("pnManualTuning")->isHidden());
    QVERIFY(rig.Window->Engine().JustOpened());
    QCOMPARE(rig.Window->Engine().ManualSettings(), TypePresets[ptNormal]);
    QVERIFY(rig.Find<QAbstractButton>("rbLM2Normal")->isChecked());
    TProcessEngine plain;
    const QSize view = rig.Window->View()->size();
    plain.ComputeVariants(LoadPicture(second), view.height(), view.width());
    QCOMPARE(rig.Shown(), *plain.ResultImages().Get(ptNormal));
    for (int type : {ptOriginal, ptLight, ptDeep})
      QCOMPARE(rig.Result(type), *plain.ResultImages().Get(type));

    // A damaged neighbour is found when the user steps onto it.
    QTest::qWait(100);
    QTRY_VERIFY(rig.Window->ReadAhead().Idle());
    rig.Key(Qt::Key_PageDown);
    QCOMPARE(rig.Platform.Beeps, 1);
    QCOMPARE(rig.Shown(), *plain.ResultImages().Get(ptNormal));
    rig.Key(Qt::Key_PageDown);
    QCOMPARE(rig.Window->windowTitle(), QStringLiteral("4 - Brisolm Tavren"));
    QCOMPARE(rig.Platform.WaitDepth, 0);

    // After a paste, a file the cache holds opens with the commands of any
    // opened file.
    QImage pasted(40, 30, QImage::Format_RGB32);
    pasted.fill(QColor(90, 120, 150));
    QGuiApplication::clipboard()->setImage(pasted);
    rig.Key(Qt::Key_V, Qt::ControlModifier);
    QVERIFY(!rig.Button("tbtNext")->isEnabled());
    rig.Window->OpenImage(second, false);
    QVERIFY(rig.Button("tbtPrev")->isEnabled());
    QVERIFY(rig.Button("tbtNext")->isEnabled());
  }

  // Long work runs beside the event loop: timers fire meanwhile, other
  // input is dropped, and a page key pressed while a step's picture is
  // made cancels that work and steps on from it.
  void PageKeysDuringAStepCancelItAndStepOn() {
    test::TempDir pictures;
    CopyInto(pictures, "small_photo.jpg", "1.jpg");
    WriteBmpFile(test::RandomImage(2400, 1600, 7), pictures.file("2.bmp"));
    const std::string third = CopyInto(pictures, "jpeg_colour.jpg", "3.jpg");
    TWindowRig rig;
    rig.Window->SetReadAheadEnabled(false);
    rig.Show();
    rig.Window->OpenImage(pictures.file("1.jpg"), false);
    const std::uint64_t computed = rig.Window->Engine().ViewComputations();

    int ticksWhileBusy = 0;
    QTimer ticker;
    ticker.setInterval(1);
    connect(&ticker, &QTimer::timeout, [&] {
      if (!rig.Window->Busy()) return;
      if (++ticksWhileBusy == 1) {
        rig.Key(Qt::Key_O, Qt::ControlModifier);  // dropped: no dialog
        rig.Key(Qt::Key_PageDown);
      }
    });
    ticker.start();
    rig.Key(Qt::Key_PageDown);
    ticker.stop();
    QVERIFY(ticksWhileBusy > 0);
    QCOMPARE(rig.Platform.OpenAsked, 0);
    QCOMPARE(rig.Window->windowTitle(), QStringLiteral("3 - Brisolm Tavren"));
    QCOMPARE(rig.Window->Engine().ViewComputations(), computed + 1);  // 2's never were
    QVERIFY(rig.Cache.Find(pictures.file("2.bmp")) != nullptr);
    TProcessEngine plain;
    const QSize view = rig.Window->View()->size();
    QCOMPARE(rig.Shown(), *plain.ComputeVariants(LoadPicture(third), view.height(), view.width()));
    QCOMPARE(rig.Platform.WaitDepth, 0);
    QCOMPARE(rig.Platform.Beeps, 0);
  }

  // At actual size the view shows exactly what saving would write, and the
  // place stays through panning, type changes and the held comparison.
  void ActualSizeShowsTheSavedPixelsInOnePlace() {
    test::TempDir pictures;
    fs::copy_file(fs::path(TAVREN_SAMPLE_PHOTO), pictures.file("big.jpg"));
    TWindowRig rig;
    rig.ShowSmallWith(pictures.file("big.jpg"));
    const TProcessEngine& engine = rig.Window->Engine();
    QVERIFY(engine.BaseReduced());
    QCursor::setPos(rig.Window->mapToGlobal(QPoint(-50, -50)));  // off the picture
    rig.Key(Qt::Key_Z);
    TImageView& view = *rig.Window->View();
    QVERIFY(view.ActualSize());
    QVERIFY(rig.Button("tbtActualSize")->isChecked());
    QCOMPARE(rig.Shown(), *engine.ResultForSave());  // Normal, at full size
    const QSize device = view.DeviceSize();
    QCOMPARE(view.Origin(), QPoint((640 - device.width()) / 2 + (640 - device.width()) % 2,
                                   (480 - device.height()) / 2 + (480 - device.height()) % 2));

    // Panning: a key, the wheel, a drag; none of them changes the type.
    const QPoint centred = view.Origin();
    rig.Key(Qt::Key_Right);
    const QSize step = view.PanStep();
    QCOMPARE(step, QSize(device.width() / 10, device.height() / 10));
    QCOMPARE(view.Origin(), centred + QPoint(step.width(), 0));
    QWheelEvent wheel(QPointF(10, 10), view.mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&view, &wheel);
    QCOMPARE(view.Origin(), centred + QPoint(step.width(), step.height()));
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(&view, QPoint(80, 90));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(80, 90));
    const QPoint place = centred + QPoint(step.width() + 20, step.height() + 10);
    QCOMPARE(view.Origin(), place);
    QCOMPARE(engine.CurrentProcessType(), ptNormal);

    // A click cycles the types at the same place; so do the buttons.
    rig.ClickView();
    QCOMPARE(engine.CurrentProcessType(), ptOriginal);
    QCOMPARE(rig.Shown(), *engine.FullImage());
    QCOMPARE(view.Origin(), place);
    for (const char* button : {"tbt1Weak", "tbt3Strong", "tbt2Normal"}) {
      rig.Button(button)->click();
      QCOMPARE(rig.Shown(), *engine.ResultForSave());
      QCOMPARE(view.Origin(), place);
    }
    QCOMPARE(engine.PictureToSave().get(), &rig.Shown());  // a save makes it not again
    // The manual panel narrows the view around the same middle.
    rig.Button("tbt99ManualTuning")->click();
    QTest::mouseClick(rig.Find("rbCX3Strong"), Qt::LeftButton);
    QCOMPARE(rig.Shown(), *engine.ResultForSave());
    const QPoint narrowed = view.Origin();
    QTest::mousePress(&view, Qt::LeftButton);  // the comparison, held
    QCOMPARE(rig.Shown(), *engine.FullImage());
    QCOMPARE(view.Origin(), narrowed);
    QTest::mouseRelease(&view, Qt::LeftButton);
    QCOMPARE(rig.Shown(), *engine.ResultForSave());
    QCOMPARE(rig.Platform.WaitDepth, 0);

    // Back to the fitted view; a new picture also comes fitted.
    rig.Key(Qt::Key_1, Qt::ControlModifier);
    QVERIFY(!view.ActualSize());
    QCOMPARE(rig.Shown(), rig.Result(ptManualTuning));
    rig.Key(Qt::Key_Z);
    rig.Window->OpenImage(CopyInto(pictures, "small_photo.jpg", "small.jpg"), false);
    QVERIFY(!view.ActualSize());
    QVERIFY(!rig.Button("tbtActualSize")->isChecked());
    QCOMPARE(rig.Shown(), rig.Result(ptNormal));

    // With the mouse over the picture, that point comes to the middle.
    rig.Window->OpenImage(pictures.file("big.jpg"), false);
    const QPoint mouse(view.width() * 2 / 5, view.height() * 2 / 5);
    QCursor::setPos(view.mapToGlobal(mouse));
    const std::optional<QPointF> fraction = view.FractionAt(mouse);
    QVERIFY(fraction.has_value());
    rig.Key(Qt::Key_Z);
    const QSize now = view.DeviceSize();
    QCOMPARE(view.Origin(), QPoint(std::lround(fraction->x() * 640 - now.width() / 2.0),
                                   std::lround(fraction->y() * 480 - now.height() / 2.0)));
  }

  void ViewFollowsTheWindowKeepingTypeAndSettings() {
    test::TempDir pictures;
    fs::copy_file(fs::path(TAVREN_SAMPLE_PHOTO), pictures.file("big.jpg"));
    TWindowRig rig;
    rig.ShowSmallWith(pictures.file("big.jpg"));
    const std::int32_t smallWidth = rig.Window->Engine().BaseImage()->Width();
    rig.Button("tbt99ManualTuning")->click();
    QTest::mouseClick(rig.Find("rbCX3Strong"), Qt::LeftButton);
    QTest::mouseClick(rig.Find("chCX_CDS"), Qt::LeftButton);
    const TTypePreset settings = rig.Window->Engine().ManualSettings();
    QCOMPARE(settings.ClarivexStrength, 3);

    rig.Window->resize(780, 560);
    QTRY_VERIFY(rig.Window->Engine().BaseImage()->Width() > smallWidth);
    const Image& base = *rig.Window->Engine().BaseImage();
    const QSize view = rig.Window->View()->size();
    std::int32_t width = 0;
    std::int32_t height = 0;
    QVERIFY(BaseImageSize(640, 480, view.height(), view.width(), width, height));
    QCOMPARE(QSize(base.Width(), base.Height()), QSize(width, height));
    QVERIFY(rig.Button("tbt99ManualTuning")->isChecked());
    QCOMPARE(rig.Window->Engine().ManualSettings(), settings);
    QCOMPARE(rig.Shown(), *ProcessedCopy(base, settings));
    QCOMPARE(rig.Window->windowTitle(), QStringLiteral("big - Brisolm Tavren"));
    QCOMPARE(rig.SizeText(), QStringLiteral("640 x 480"));
    QCOMPARE(rig.Platform.WaitDepth, 0);

    // The manual panel hiding and showing beside the view makes nothing
    // again: the finished results show at once and stay.
    const std::uint64_t computed = rig.Window->Engine().ViewComputations();
    const Image manual = rig.Shown();
    const Image normal = *rig.Window->Engine().ResultImages().Get(ptNormal);
    rig.Button("tbt2Normal")->click();
    QTest::qWait(400);
    QCOMPARE(rig.Shown(), normal);
    rig.Button("tbt99ManualTuning")->click();
    QTest::qWait(400);
    QCOMPARE(rig.Shown(), manual);
    QCOMPARE(rig.Window->Engine().ViewComputations(), computed);
  }

  void SaveOffersACopyNameAndForcesJpg() {
    test::TempDir pictures;
    TWindowRig rig;
    rig.Show();
    rig.Window->OpenImage(CopyInto(pictures, "small_photo.jpg", "IMG_0412.JPG"), false);
    rig.Key(Qt::Key_S, Qt::ControlModifier);  // cancelled
    QCOMPARE(rig.Platform.SaveName, QStringLiteral("IMG_0412copy.JPG"));
    QCOMPARE(rig.Platform.SaveFolder, QString::fromStdString(pictures.path().string()));

    rig.Window->OpenImage(CopyInto(pictures, "bmp_rose16_24.bmp", "photo.bmp"), false);
    rig.Platform.SaveAnswer = QString::fromStdString(pictures.file("photocopy.bmp"));
    rig.Key(Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(rig.Platform.SaveName, QStringLiteral("photocopy.bmp"));
    QVERIFY(fs::exists(pictures.file("photocopy.jpg")));
    QVERIFY(!fs::exists(pictures.file("photocopy.bmp")));

    rig.Platform.SaveAnswer = QString::fromStdString(pictures.file("typed.jpeg"));
    rig.Key(Qt::Key_S, Qt::ControlModifier);
    QVERIFY(fs::exists(pictures.file("typed.jpg")));
    QCOMPARE(rig.Platform.YesNoAsked, 0);

    // The changed name exists now: the user is asked, and "no" writes nothing.
    const auto before = fs::last_write_time(pictures.file("typed.jpg"));
    rig.Platform.YesNoAnswer = false;
    rig.Key(Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(rig.Platform.YesNoAsked, 1);
    QCOMPARE(fs::last_write_time(pictures.file("typed.jpg")), before);
    QCOMPARE(rig.Platform.WaitDepth, 0);
  }

  void SavesAtFullSizeWhenTheBaseWasReduced() {
    test::TempDir pictures;
    // The sample photo with a colour profile put in behind its start.
    std::vector<std::uint8_t> photo = ReadFileBytes(TAVREN_SAMPLE_PHOTO);
    const std::vector<std::uint8_t> profile = test::FakeIccProfile(500);
    const std::vector<std::uint8_t> piece = test::JpegBuilder().IccPiece(1, 1, profile).End();
    photo.insert(photo.begin() + 2, piece.begin() + 2, piece.end() - 2);
    WriteFileAtomically(pictures.file("big.jpg"), photo);
    TWindowRig rig;
    rig.ShowSmallWith(pictures.file("big.jpg"));
    QVERIFY(rig.Window->Engine().BaseReduced());
    rig.Button("tbt3Strong")->click();
    rig.Platform.SaveAnswer = QString::fromStdString(pictures.file("deep.jpg"));
    // While the save runs the window paints and says so; what the user does
    // then is dropped.
    bool sawSaving = false;
    QTimer::singleShot(0, rig.Window.get(), [&] {
      sawSaving = rig.Window->Saving() &&
                  rig.Message() == QStringLiteral("Saving deep.jpg\u2026") &&
                  rig.Find("sbMainProgress")->isVisible();
      rig.Key(Qt::Key_O, Qt::ControlModifier);
      rig.ClickView();
    });
    rig.Window->SaveCommand();
    QVERIFY(sawSaving);
    QCOMPARE(rig.Platform.OpenAsked, 0);
    QVERIFY(rig.Button("tbt3Strong")->isChecked());
    QCOMPARE(rig.Message(), QStringLiteral("Deep"));
    QVERIFY(rig.Find("sbMainProgress")->isHidden());
    QCOMPARE(rig.Platform.WaitDepth, 0);
    // The same bytes as Deep run on the whole picture and exported directly.
    SaveJpegWithExif(*ProcessedCopy(LoadPicture(pictures.file("big.jpg")), TypePresets[ptDeep]),
                     pictures.file("direct.jpg"), pictures.file("big.jpg"));
    QCOMPARE(ReadFileBytes(pictures.file("deep.jpg")), ReadFileBytes(pictures.file("direct.jpg")));
    QVERIFY(ReadSourceMetadata(pictures.file("deep.jpg")).IccProfile == profile);

    // With the save's option the file is the one the command keeping the
    // metadata writes: here the default's, as the made-up profile stops the
    // metadata from being read, which the user is told.
    QVERIFY(!rig.KeepMetadata()->isChecked());
    rig.KeepMetadata()->trigger();
    rig.Platform.SaveAnswer = QString::fromStdString(pictures.file("unreadable.jpg"));
    rig.Window->SaveCommand();
    QVERIFY(rig.Message().startsWith(
        QStringLiteral("unreadable.jpg: saved without its date, camera settings and GPS: ")));
    QCOMPARE(rig.Platform.Beeps, 1);
    QCOMPARE(ReadFileBytes(pictures.file("unreadable.jpg")),
             ReadFileBytes(pictures.file("deep.jpg")));
    // The sample photo's own metadata (dates, exposure, GPS) is kept.
    fs::copy_file(fs::path(TAVREN_SAMPLE_PHOTO), pictures.file("photo.jpg"));
    rig.Window->OpenImage(pictures.file("photo.jpg"), false);
    QVERIFY(rig.Window->Engine().BaseReduced());
    rig.Button("tbt3Strong")->click();
    rig.Platform.SaveAnswer = QString::fromStdString(pictures.file("kept.jpg"));
    rig.Window->SaveCommand();
    QCOMPARE(rig.Message(), QStringLiteral("Deep"));
    const std::vector<std::uint8_t> kept = ReadFileBytes(pictures.file("kept.jpg"));
    QCOMPARE(kept, KeptByTheCommand(pictures.file("photo.jpg"), ptDeep, pictures.file("cli.jpg")));
    const std::string shot = "2008:10:22 16:28:39";  // the photo's date, which the default drops
    QVERIFY(std::search(kept.begin(), kept.end(), shot.begin(), shot.end()) != kept.end());
  }

  // Copy puts what the save would write on the clipboard: the pressed type
  // at full size, here Manual Tuning's settings on a reduced base; it
  // pastes back in as that picture.
  void CopiesTheFullSizeTypeOnShow() {
    TWindowRig rig;
    rig.ShowSmallWith(TAVREN_SAMPLE_PHOTO);
    QVERIFY(rig.Window->Engine().BaseReduced());
    QVERIFY(rig.Button("tbtCopyToClipboard")->isEnabled());
    rig.Button("tbt99ManualTuning")->click();
    QTest::mouseClick(rig.Find("rbCX3Strong"), Qt::LeftButton);
    QTest::mouseClick(rig.Find("chLM_AS"), Qt::LeftButton);
    QGuiApplication::clipboard()->setText(QStringLiteral("only text"));
    bool sawCopying = false;
    QTimer::singleShot(0, rig.Window.get(), [&] {
      sawCopying =
          rig.Window->Saving() && rig.Message() == QStringLiteral("Copying to the clipboard\u2026");
    });
    rig.Window->CopyCommand();
    QVERIFY(sawCopying);
    QCOMPARE(rig.Message(), QStringLiteral("Manual Tuning"));
    QCOMPARE(rig.Platform.WaitDepth, 0);
    const std::unique_ptr<Image> saved = rig.Window->Engine().ResultForSave();
    QCOMPARE(QSize(saved->Width(), saved->Height()), QSize(640, 480));
    QCOMPARE(ImageFromQImage(QGuiApplication::clipboard()->image()), *saved);

    QTRY_VERIFY(rig.Button("tbtPasteFromClipboard")->isEnabled());
    rig.Key(Qt::Key_V, Qt::ControlModifier);
    rig.Button("tbt0Off")->click();
    QCOMPARE(*rig.Window->Engine().ResultForSave(), *saved);
  }

  void WelcomePanelStaysCentredRoundingHalvesToEven() {
    TWindowRig rig;
    rig.Show();
    QWidget* area = rig.Find("pnImage");
    QWidget* welcome = rig.Find("pnWelcome");
    area->resize(welcome->width() + 101, welcome->height() + 103);
    QCOMPARE(welcome->pos(), QPoint(50, 52));
    area->resize(welcome->width() + 103, welcome->height() + 101);
    QCOMPARE(welcome->pos(), QPoint(52, 50));
  }

  void WindowSizeSurvivesARestart() {
    test::TempDir settings;
    const std::string statePath = settings.file("Main");
    {
      TWindowRig first({}, statePath);
      first.Show();
      first.Window->resize(700, 500);
      first.KeepMetadata()->trigger();
      first.Window->close();
    }
    QCOMPARE(fs::file_size(statePath), kStateRecordSize);
    TWindowRig second({}, statePath);
    second.Window->show();
    QVERIFY(QTest::qWaitFor([&] { return second.Window->StartupDone(); }));
    QCOMPARE(second.Window->size(), QSize(700, 500));
    QVERIFY(second.KeepMetadata()->isChecked());
    // Minimised from maximised: stored as minimised.
    second.Window->setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    second.Window->close();
    QCOMPARE(ReadFileBytes(statePath)[1], std::uint8_t(1));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
