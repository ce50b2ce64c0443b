#include "window/manual_panel.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <QVBoxLayout>

#include "window/window_resources.h"

namespace tavren {

namespace {

constexpr int kCaptionHeight = 26;
constexpr int kEasyPageHeight = 208;
constexpr int kCloseSize = 14;
// The colour of an inactive window caption on the classic desktop.
const QColor kInactiveCaption(191, 205, 219);

QString CloseGlyphResource(int state) {
  return ResourcePicture(QStringLiteral("close%1").arg(state));
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  return label;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& text) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(QLatin1String(name));
  return box;
}

}  // namespace

TManualTuningPanel::TManualTuningPanel(TProcessEngine& engine, QWidget* parent)
    : QFrame(parent), engine_(engine) {
  setObjectName(QStringLiteral("pnManualTuning"));
  setFixedWidth(kWidth);
  InitWindowResources();
  QFont font = this->font();
  font.setPointSize(8);
  setFont(font);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(MakeCaption());
  layout->addWidget(MakeEasyPage());
  layout->addStretch(1);

  // A move anywhere in the panel but on the close image means the pointer
  // has left it.  Every part of the panel tracks the pointer, so that no
  // part swallows the move; the close image keeps its own moves.
  for (QWidget* part : findChildren<QWidget*>()) {
    part->setMouseTracking(true);
    if (part != imFTClose_) part->installEventFilter(this);
  }
  setMouseTracking(true);
  installEventFilter(this);
  imFTClose_->installEventFilter(this);

  ConnectHandlers();
  ApplyEnableRule();
}

QWidget* TManualTuningPanel::MakeCaption() {
  auto* caption = new QFrame(this);
  caption->setObjectName(QStringLiteral("pnFTCaption"));
  caption->setFixedHeight(kCaptionHeight);
  caption->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  caption->setAutoFillBackground(true);
  QPalette palette = caption->palette();
  palette.setColor(QPalette::Window, kInactiveCaption);
  caption->setPalette(palette);
  QFont font(QStringLiteral("Verdana"));
  font.setPointSize(8);
  caption->setFont(font);

  auto* layout = new QHBoxLayout(caption);
  layout->setContentsMargins(6, 0, 5, 0);
  layout->addWidget(MakeLabel(caption, "pnFTCaption1", tr("Manual Tuning")), 1);
  imFTClose_ = MakeLabel(caption, "imFTClose", QString());
  imFTClose_->setFixedSize(kCloseSize, kCloseSize);
  layout->addWidget(imFTClose_);
  ShowCloseGlyph(0);
  return caption;
}

QWidget* TManualTuningPanel::MakeEasyPage() {
  auto* page = new QWidget(this);
  page->setObjectName(QStringLiteral("pnMTEasy"));
  page->setFixedHeight(kEasyPageHeight);
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(3, 4, 3, 2);
  layout->setSpacing(3);

  QLabel* note = MakeLabel(
      page, "lblMTNote",
      tr("Set the desired parameters of processing. Click on the image to see original."));
  note->setWordWrap(true);
  layout->addWidget(note);
  layout->addWidget(MakeStrengthGroup(
      {tr("Lumora"), "gbLumoraEasy", "rbLM", "chLM_AS", tr("Artifact Supression")}, rbLM_,
      chLM_AS_));
  layout->addWidget(MakeStrengthGroup(
      {tr("Clarivex"), "gbClarivex", "rbCX", "chCX_CDS", tr("Color Distortion Supression")}, rbCX_,
      chCX_CDS_));
  chCX_CDS_->setToolTip(chCX_CDS_->text());

  QLabel* professional = MakeLabel(page, "lblMTSwith", tr("Switch To Professional Mode"));
  professional->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QFont font = professional->font();
  font.setUnderline(true);
  professional->setFont(font);
  QPalette palette = professional->palette();
  palette.setColor(QPalette::WindowText, Qt::gray);
  palette.setColor(QPalette::Disabled, QPalette::WindowText, Qt::gray);
  professional->setPalette(palette);
  professional->setCursor(Qt::PointingHandCursor);
  professional->setToolTip(tr("Switch To Professional Mode (Comming Soon)"));
  professional->setEnabled(false);  // the professional mode does not exist yet
  layout->addWidget(professional);
  layout->addStretch(1);
  return page;
}

// A technology's group: a row of four strength buttons, Off selected, and
// its option below them.  The buttons are the group's children, so Qt keeps
// exactly one of them selected; each group is separate from the other.
QWidget* TManualTuningPanel::MakeStrengthGroup(const TStrengthGroup& names,
                                               QRadioButton* (&buttons)[4], QCheckBox*& option) {
  auto* group = new QGroupBox(names.Title, this);
  group->setObjectName(QLatin1String(names.GroupName));
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(2, 2, 1, 4);
  layout->setSpacing(2);
  auto* row = new QHBoxLayout;
  row->setSpacing(0);
  const char* const nameEndings[4] = {"0Off", "1Weak", "2Normal", "3Strong"};
  const QString texts[4] = {tr("Off"), tr("Weak"), tr("Normal"), tr("Strong")};
  for (int strength = 0; strength < 4; ++strength) {
    buttons[strength] = new QRadioButton(texts[strength], group);
    buttons[strength]->setObjectName(QLatin1String(names.ButtonPrefix) +
                                     QLatin1String(nameEndings[strength]));
    row->addWidget(buttons[strength]);
  }
  buttons[0]->setChecked(true);
  layout->addLayout(row);
  option = MakeCheckBox(group, names.OptionName, names.OptionText);
  layout->addWidget(option);
  return group;
}

// Only the newly selected radio button counts: the one losing its mark
// reports toggled(false), and clicking the selected one reports nothing.
void TManualTuningPanel::ConnectHandlers() {
  for (QRadioButton* button :
       {rbLM_[0], rbLM_[1], rbLM_[2], rbLM_[3], rbCX_[0], rbCX_[1], rbCX_[2], rbCX_[3]}) {
    connect(button, &QRadioButton::toggled, this, [this](bool selected) {
      if (selected) MTBtnChange();
    });
  }
  connect(chCX_CDS_, &QCheckBox::toggled, this, [this] { MTBtnChange(); });
  connect(chLM_AS_, &QCheckBox::toggled, this, [this] { chLM_ASClick(); });
}

void TManualTuningPanel::MTBtnChange() {
  SyncEngineSettings();
  RequestComputation();
  ApplyEnableRule();
}

void TManualTuningPanel::chLM_ASClick() {
  SyncEngineSettings();
  RequestComputation();
}

void TManualTuningPanel::SyncEngineSettings() {
  TTypePreset settings;
  settings.LumoraStrength = static_cast<std::uint8_t>(SelectedStrength(TTechnology::Lumora));
  settings.ArtifactSuppression = chLM_AS_->isChecked() ? 1 : 0;
  settings.ClarivexStrength = static_cast<std::uint8_t>(SelectedStrength(TTechnology::Clarivex));
  settings.SuppressColorDistortion = chCX_CDS_->isChecked() ? 1 : 0;
  engine_.SetManualSettings(settings);
}

void TManualTuningPanel::RequestComputation() {
  if (!engine_.Updating()) emit computeManualRequested();
}

// A disabled option keeps its tick, so it comes back as it was when its
// technology is switched on again.
void TManualTuningPanel::ApplyEnableRule() {
  chLM_AS_->setEnabled(!rbLM_[0]->isChecked());
  chCX_CDS_->setEnabled(!rbCX_[0]->isChecked());
}

int TManualTuningPanel::SelectedStrength(TTechnology technology) const {
  QRadioButton* const* buttons = technology == TTechnology::Lumora ? rbLM_ : rbCX_;
  for (int strength = 3; strength >= 1; --strength) {
    if (buttons[strength]->isChecked()) return strength;
  }
  return 0;
}

void TManualTuningPanel::ApplyTypePreset(int type) {
  if (type < ptOriginal || type > ptDeep) return;
  const TTypePreset& row = TypePresets[static_cast<std::size_t>(type)];
  const bool wasUpdating = engine_.Updating();
  engine_.SetUpdating(true);
  if (row.LumoraStrength <= 3) rbLM_[row.LumoraStrength]->setChecked(true);
  chLM_AS_->setChecked(row.ArtifactSuppression == 1);
  if (row.ClarivexStrength <= 3) rbCX_[row.ClarivexStrength]->setChecked(true);
  chCX_CDS_->setChecked(row.SuppressColorDistortion == 1);
  ApplyEnableRule();
  // Controls that already held the row's values raised no change.
  SyncEngineSettings();
  engine_.SetUpdating(wasUpdating);
}

void TManualTuningPanel::ShowCloseGlyph(int state) {
  closeGlyphState_ = state;
  imFTClose_->setPixmap(QIcon(CloseGlyphResource(state)).pixmap(kCloseSize, kCloseSize));
}

void TManualTuningPanel::ResetCloseGlyph() { ShowCloseGlyph(0); }

void TManualTuningPanel::PointerLeftClose() {
  if (closeGlyphState_ != 0) ShowCloseGlyph(0);
}

bool TManualTuningPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == imFTClose_) return CloseImageEvent(event);
  if (event->type() == QEvent::MouseMove) PointerLeftClose();
  return QFrame::eventFilter(watched, event);
}

// The close image takes its own mouse events, so that they do not reach the
// caption and the panel, where a move means the pointer is elsewhere.
bool TManualTuningPanel::CloseImageEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseMove:
      if (closeGlyphState_ == 0) ShowCloseGlyph(1);
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (closeGlyphState_ != 2) ShowCloseGlyph(2);
      return true;
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton &&
          imFTClose_->rect().contains(mouse->position().toPoint()))
        emit closeClicked();
      return true;
    }
    default:
      return false;
  }
}

}  // namespace tavren
