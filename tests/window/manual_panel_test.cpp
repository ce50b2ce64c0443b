#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

#include "support/test_support.h"
#include "window/manual_panel.h"
#include "window/window_resources.h"

using namespace tavren;

namespace {

// Mouse moves without a button go through the application like real ones,
// so they are handed on to tracking parents the way the pointer's are.
void MoveOver(QWidget* widget) {
  const QPointF local(widget->width() / 2.0, widget->height() / 2.0);
  QMouseEvent move(QEvent::MouseMove, local, widget->mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(widget, &move);
}

QImage GlyphImage(int state) {
  return QIcon(ResourcePicture(QStringLiteral("close%1").arg(state))).pixmap(14, 14).toImage();
}

}  // namespace

class ManualPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    engine_ = std::make_unique<TProcessEngine>();
    QVERIFY(engine_->ComputeVariants(test::RandomImage(64, 48, 7), 0, 0) != nullptr);
    panel_ = std::make_unique<TManualTuningPanel>(*engine_);
    // What the window does: compute on request, then take Normal's settings.
    computed_ = 0;
    QObject::connect(panel_.get(), &TManualTuningPanel::computeManualRequested, [this] {
      ++computed_;
      QVERIFY(engine_->ComputeManual() != nullptr);
    });
    panel_->ApplyTypePreset(ptNormal);
    panel_->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel_.get()));
  }
  void cleanup() {
    panel_.reset();
    engine_.reset();
  }

  void StartsWithBothTechnologiesOff() {
    TProcessEngine engine;
    TManualTuningPanel panel(engine);
    QCOMPARE(panel.objectName(), QStringLiteral("pnManualTuning"));
    QCOMPARE(panel.minimumWidth(), 242);
    QCOMPARE(panel.maximumWidth(), 242);
    QVERIFY(Radio(panel, "rbLM0Off")->isChecked());
    QVERIFY(Radio(panel, "rbCX0Off")->isChecked());
    QCOMPARE(panel.SelectedStrength(TTechnology::Lumora), 0);
    QCOMPARE(panel.SelectedStrength(TTechnology::Clarivex), 0);
    QVERIFY(!Box(panel, "chLM_AS")->isEnabled());
    QVERIFY(!Box(panel, "chCX_CDS")->isEnabled());
    QCOMPARE(panel.CloseGlyphState(), 0);
  }

  void ShowsTheProgramsOwnTexts() {
    TManualTuningPanel& panel = *panel_;
    QCOMPARE(panel.findChild<QLabel*>("pnFTCaption1")->text(), QStringLiteral("Manual Tuning"));
    QCOMPARE(panel.findChild<QWidget*>("pnFTCaption")->height(), 26);
    QCOMPARE(panel.findChild<QWidget*>("imFTClose")->size(), QSize(14, 14));
    QCOMPARE(panel.findChild<QGroupBox*>("gbLumoraEasy")->title(), QStringLiteral("Lumora"));
    QCOMPARE(panel.findChild<QGroupBox*>("gbClarivex")->title(), QStringLiteral("Clarivex"));
    QCOMPARE(Radio(panel, "rbLM1Weak")->text(), QStringLiteral("Weak"));
    QCOMPARE(Radio(panel, "rbCX3Strong")->text(), QStringLiteral("Strong"));
    QCOMPARE(Box(panel, "chLM_AS")->text(), QStringLiteral("Artifact Supression"));
    QCOMPARE(Box(panel, "chCX_CDS")->text(), QStringLiteral("Color Distortion Supression"));
    QCOMPARE(Box(panel, "chCX_CDS")->toolTip(), QStringLiteral("Color Distortion Supression"));
    bool noteFound = false;
    for (QLabel* label : panel.findChildren<QLabel*>()) {
      noteFound |= label->text() ==
                   "Set the desired parameters of processing. Click on the image to see original.";
    }
    QVERIFY(noteFound);
    auto* professional = panel.findChild<QLabel*>("lblMTSwith");
    QCOMPARE(professional->text(), QStringLiteral("Switch To Professional Mode"));
    QCOMPARE(professional->toolTip(), QStringLiteral("Switch To Professional Mode (Comming Soon)"));
    QVERIFY(!professional->isEnabled());
    QVERIFY(professional->font().underline());
    QVERIFY(professional->alignment() & Qt::AlignRight);
    QCOMPARE(professional->cursor().shape(), Qt::PointingHandCursor);
  }

  // Every control fits in the panel: nothing is cut off at its fixed size.
  void ControlsFitThePanel() {
    for (const char* name : {"rbLM3Strong", "rbCX3Strong", "chCX_CDS", "lblMTSwith"}) {
      auto* control = panel_->findChild<QWidget*>(name);
      const QRect inPanel(control->mapTo(panel_.get(), QPoint(0, 0)), control->size());
      QVERIFY2(panel_->rect().contains(inPanel), name);
      QVERIFY2(control->width() >= control->minimumSizeHint().width(), name);
    }
  }

  void BothOffGiveTheBaseImage() {
    Click("rbLM0Off");
    Click("rbCX0Off");
    QCOMPARE(computed_, 2);
    QCOMPARE(engine_->ManualSettings(), (TTypePreset{0, 0, 0, 0}));
    QVERIFY(*engine_->ResultImages().Get(ptManualTuning) == *engine_->BaseImage());
  }

  void OffDisablesArtifactSuppressionButKeepsItsTick() {
    QCheckBox* artifact = Box(*panel_, "chLM_AS");
    QVERIFY(artifact->isEnabled());
    QTest::mouseClick(artifact, Qt::LeftButton);
    QVERIFY(artifact->isChecked());
    Click("rbLM0Off");
    QVERIFY(!artifact->isEnabled());
    QVERIFY(artifact->isChecked());
    Click("rbLM1Weak");
    QVERIFY(artifact->isEnabled());
    QVERIFY(artifact->isChecked());
    QCOMPARE(engine_->ManualSettings(), (TTypePreset{1, 1, 2, 0}));

    QCheckBox* colour = Box(*panel_, "chCX_CDS");
    QTest::mouseClick(colour, Qt::LeftButton);
    Click("rbCX0Off");
    QVERIFY(!colour->isEnabled());
    QVERIFY(colour->isChecked());
    Click("rbCX3Strong");
    QVERIFY(colour->isEnabled());
    QCOMPARE(engine_->ManualSettings(), (TTypePreset{1, 1, 3, 1}));
  }

  void ArtifactSuppressionWithNormalUsesParameterSetOne() {
    QTest::mouseClick(Box(*panel_, "chLM_AS"), Qt::LeftButton);
    QCOMPARE(computed_, 1);
    QCOMPARE(engine_->ManualSettings(), (TTypePreset{2, 1, 2, 0}));
    const Image* manual = engine_->ResultImages().Get(ptManualTuning);
    QVERIFY(manual != nullptr);
    QVERIFY(*manual == *ProcessedCopy(*engine_->BaseImage(), {2, 1, 2, 0}));
    QVERIFY(!(*manual == *engine_->ResultImages().Get(ptNormal)));  // the tick made a difference
  }

  void ComputesOncePerNewlySelectedButton() {
    Click("rbLM3Strong");
    QCOMPARE(computed_, 1);
    Click("rbLM3Strong");  // already selected
    QCOMPARE(computed_, 1);
    Click("rbCX2Normal");  // already selected after the new picture
    QCOMPARE(computed_, 1);
    Click("rbCX1Weak");
    QCOMPARE(computed_, 2);
    QTest::mouseClick(Box(*panel_, "chCX_CDS"), Qt::LeftButton);
    QCOMPARE(computed_, 3);
    QCOMPARE(engine_->ManualSettings(), (TTypePreset{3, 0, 1, 1}));
    QVERIFY(*engine_->ResultImages().Get(ptManualTuning) ==
            *ProcessedCopy(*engine_->BaseImage(), {3, 0, 1, 1}));
  }

  void NothingIsComputedWhileUpdating() {
    engine_->SetUpdating(true);
    Click("rbLM1Weak");
    QTest::mouseClick(Box(*panel_, "chLM_AS"), Qt::LeftButton);
    QCOMPARE(computed_, 0);
    // The settings still follow the controls.
    QCOMPARE(engine_->ManualSettings(), (TTypePreset{1, 1, 2, 0}));
    QVERIFY(Box(*panel_, "chLM_AS")->isChecked());
  }

  void TypePresetSetsTheControlsWithoutComputing() {
    Click("rbLM0Off");
    Click("rbCX3Strong");
    QTest::mouseClick(Box(*panel_, "chCX_CDS"), Qt::LeftButton);
    const int before = computed_;

    panel_->ApplyTypePreset(ptNormal);
    QCOMPARE(computed_, before);
    QVERIFY(!engine_->Updating());
    QVERIFY(Radio(*panel_, "rbLM2Normal")->isChecked());
    QVERIFY(Radio(*panel_, "rbCX2Normal")->isChecked());
    QCOMPARE(panel_->SelectedStrength(TTechnology::Lumora), 2);
    QCOMPARE(panel_->SelectedStrength(TTechnology::Clarivex), 2);
    QVERIFY(!Box(*panel_, "chLM_AS")->isChecked());
    QVERIFY(!Box(*panel_, "chCX_CDS")->isChecked());
    QVERIFY(Box(*panel_, "chLM_AS")->isEnabled());
    QVERIFY(Box(*panel_, "chCX_CDS")->isEnabled());
    QCOMPARE(engine_->ManualSettings(), TypePresets[ptNormal]);

    panel_->ApplyTypePreset(ptOriginal);
    QVERIFY(!Box(*panel_, "chLM_AS")->isEnabled());
    QVERIFY(!Box(*panel_, "chCX_CDS")->isEnabled());
    panel_->ApplyTypePreset(ptDeep);
    QCOMPARE(panel_->SelectedStrength(TTechnology::Lumora), 3);
    QCOMPARE(panel_->SelectedStrength(TTechnology::Clarivex), 3);
    QCOMPARE(engine_->ManualSettings(), TypePresets[ptDeep]);
    QCOMPARE(computed_, before);

    // Not a preset row: nothing changes.
    panel_->ApplyTypePreset(4);
    panel_->ApplyTypePreset(-1);
    panel_->ApplyTypePreset(ptManualTuning);
    QCOMPARE(panel_->SelectedStrength(TTechnology::Lumora), 3);
    QCOMPARE(engine_->ManualSettings(), TypePresets[ptDeep]);

    // An Updating already set by the window stays set.
    engine_->SetUpdating(true);
    panel_->ApplyTypePreset(ptLight);
    QVERIFY(engine_->Updating());
    QCOMPARE(engine_->ManualSettings(), TypePresets[ptLight]);
  }

  // Right after a new picture the manual result is Normal's.
  void NewPictureSettingsGiveNormal() {
    QVERIFY(engine_->ComputeManual() != nullptr);
    QVERIFY(*engine_->ResultImages().Get(ptManualTuning) == *engine_->ResultImages().Get(ptNormal));
  }

  void CloseGlyphFollowsThePointer() {
    auto* close = panel_->findChild<QLabel*>("imFTClose");
    QCOMPARE(close->pixmap().toImage(), GlyphImage(0));
    MoveOver(close);
    QCOMPARE(panel_->CloseGlyphState(), 1);
    QCOMPARE(close->pixmap().toImage(), GlyphImage(1));
    QTest::mousePress(close, Qt::LeftButton);
    QCOMPARE(panel_->CloseGlyphState(), 2);
    QCOMPARE(close->pixmap().toImage(), GlyphImage(2));
    MoveOver(close);  // only the normal glyph turns into the hover glyph
    QCOMPARE(panel_->CloseGlyphState(), 2);
    MoveOver(panel_->findChild<QWidget*>("gbClarivex"));
    QCOMPARE(panel_->CloseGlyphState(), 0);
    QCOMPARE(close->pixmap().toImage(), GlyphImage(0));

    // Moves over the caption text, a button inside a group box or the panel
    // itself count as leaving the close image too.
    for (const char* elsewhere : {"pnFTCaption1", "rbLM2Normal", "pnMTEasy", "pnManualTuning"}) {
      MoveOver(close);
      QCOMPARE(panel_->CloseGlyphState(), 1);
      QWidget* target = QString(elsewhere) == "pnManualTuning"
                            ? panel_.get()
                            : panel_->findChild<QWidget*>(elsewhere);
      MoveOver(target);
      QVERIFY2(panel_->CloseGlyphState() == 0, elsewhere);
    }

    MoveOver(close);
    panel_->PointerLeftClose();
    QCOMPARE(panel_->CloseGlyphState(), 0);
    QTest::mousePress(close, Qt::RightButton);
    QCOMPARE(panel_->CloseGlyphState(), 2);
    panel_->ResetCloseGlyph();
    QCOMPARE(panel_->CloseGlyphState(), 0);
    QCOMPARE(close->pixmap().toImage(), GlyphImage(0));
  }

  void ClickOnCloseImageAsksToClose() {
    QSignalSpy closed(panel_.get(), &TManualTuningPanel::closeClicked);
    auto* close = panel_->findChild<QWidget*>("imFTClose");
    QTest::mouseClick(close, Qt::RightButton);
    QCOMPARE(closed.count(), 0);
    QTest::mousePress(close, Qt::LeftButton);
    QTest::mouseRelease(close, Qt::LeftButton, {}, QPoint(40, 40));  // let go elsewhere
    QCOMPARE(closed.count(), 0);
    QTest::mouseClick(close, Qt::LeftButton);
    QCOMPARE(closed.count(), 1);
    QCOMPARE(computed_, 0);
  }

 private:
  static QRadioButton* Radio(const TManualTuningPanel& panel, const char* name) {
    return panel.findChild<QRadioButton*>(name);
  }
  static QCheckBox* Box(const TManualTuningPanel& panel, const char* name) {
    return panel.findChild<QCheckBox*>(name);
  }
  void Click(const char* name) {
    QRadioButton* button = Radio(*panel_, name);
    QVERIFY2(button != nullptr, name);
    QTest::mouseClick(button, Qt::LeftButton);
  }

  std::unique_ptr<TProcessEngine> engine_;
  std::unique_ptr<TManualTuningPanel> panel_;
  int computed_ = 0;
};

QTEST_MAIN(ManualPanelTest)
#include "manual_panel_test.moc"
