// The Manual Tuning panel: the user picks the strength of each technology
// and its option by hand, and every change recomputes the manual result.
//
// The panel keeps the engine's manual settings equal to its controls at all
// times; the window does the computing (wait cursor, showing the result)
// when the panel asks for it.  While the engine is Updating (controls set
// from code) the panel asks for nothing.
#pragma once

#include <QFrame>

#include "workflow/process_engine.h"

class QCheckBox;
class QLabel;
class QRadioButton;

namespace tavren {

enum class TTechnology { Lumora, Clarivex };

class TManualTuningPanel : public QFrame {
  Q_OBJECT

 public:
  static constexpr int kWidth = 242;

  explicit TManualTuningPanel(TProcessEngine& engine, QWidget* parent = nullptr);

  // Sets the controls from TypePresets row `type` (0..3; other values change
  // nothing) with the engine Updating, so nothing is computed; the engine's
  // former Updating value is put back afterwards.
  void ApplyTypePreset(int type);

  // 3 Strong, else 2 Normal, else 1 Weak, else 0.
  int SelectedStrength(TTechnology technology) const;

  // The glyph on show in the close image: 0 normal, 1 hover, 2 pressed.
  int CloseGlyphState() const { return closeGlyphState_; }
  // Back to the normal glyph (first show of the window).
  void ResetCloseGlyph();
  // The pointer is somewhere else than on the close image (the window
  // reports moves over its tool bar here): back to the normal glyph.
  void PointerLeftClose();

 signals:
  // A radio button became selected, or one of the two options changed,
  // while the engine is not Updating.  The engine's manual settings already
  // hold the new choice.
  void computeManualRequested();
  // The close image was clicked.
  void closeClicked();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* MakeCaption();
  QWidget* MakeEasyPage();
  // What tells the Lumora and the Clarivex group apart.
  struct TStrengthGroup {
    QString Title;
    const char* GroupName;
    const char* ButtonPrefix;  // the buttons are prefix + "0Off" .. "3Strong"
    const char* OptionName;
    QString OptionText;
  };
  QWidget* MakeStrengthGroup(const TStrengthGroup& names, QRadioButton* (&buttons)[4],
                             QCheckBox*& option);
  void ConnectHandlers();

  // A radio button became selected or the colour option changed.
  void MTBtnChange();
  // The artifact-suppression option changed.
  void chLM_ASClick();
  void SyncEngineSettings();
  void RequestComputation();
  void ApplyEnableRule();

  bool CloseImageEvent(QEvent* event);
  void ShowCloseGlyph(int state);

  TProcessEngine& engine_;
  int closeGlyphState_ = 0;

  QLabel* imFTClose_ = nullptr;
  QRadioButton* rbLM_[4] = {};
  QRadioButton* rbCX_[4] = {};
  QCheckBox* chLM_AS_ = nullptr;
  QCheckBox* chCX_CDS_ = nullptr;
};

}  // namespace tavren
