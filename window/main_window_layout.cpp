// How the main window is put together: tool bar, image area, welcome panel,
// manual tuning panel and status bar, and which command each control runs.
#include <QAction>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "window/image_view.h"
#include "window/main_window.h"
#include "window/manual_panel.h"
#include "window/welcome_panel.h"
#include "window/window_resources.h"
#include "workflow/files.h"
#include "workflow/fixed_texts.h"
#include "workflow/state.h"

namespace tavren {

namespace {

constexpr int kToolBarHeight = 44;
constexpr QSize kToolButtonSize(39, 38);
constexpr int kToolIconSize = 32;
constexpr int kToolSeparatorWidth = 8;
constexpr int kMenuArrowWidth = 14;  // beside a button that has a menu
}  // namespace

// ---------------------------------------------------------------------------
// Tool bar

// The button shows its command's action, which holds the icon, the hint and
// the enabled state.  The action has no text: the buttons show icons only.
QToolButton* TfrmMain::AddToolButton(const char* name, const char* icon, const QString& hint) {
  auto* action = new QAction(QIcon(ResourcePicture(QLatin1String(icon))), QString(), this);
  action->setToolTip(hint);
  auto* button = new QToolButton(tbMain_);
  button->setObjectName(QString::fromLatin1(name));
  button->setDefaultAction(action);
  button->setIconSize(QSize(kToolIconSize, kToolIconSize));
  button->setFixedSize(kToolButtonSize);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  tbMain_->addWidget(button);
  return button;
}

void TfrmMain::AddToolSeparator() {
  auto* gap = new QWidget(tbMain_);
  gap->setFixedWidth(kToolSeparatorWidth);
  tbMain_->addWidget(gap);
}

void TfrmMain::CreateToolBar() {
  tbMain_ = new QToolBar(this);
  tbMain_->setObjectName(QStringLiteral("tbMain"));
  tbMain_->setFixedHeight(kToolBarHeight);
  tbMain_->setMovable(false);
  tbMain_->setFloatable(false);
  tbMain_->setContextMenuPolicy(Qt::PreventContextMenu);
  addToolBar(Qt::TopToolBarArea, tbMain_);

  tbtOpen_ = AddToolButton("tbtOpen", "open", QStringLiteral("Open Image (Ctrl-O)"));
  tbtSave_ = AddToolButton("tbtSave", "save", QStringLiteral("Save Image (Ctrl-S)"));
  CreateSaveMenu();
  tbtCopyToClipboard_ =
      AddToolButton("tbtCopyToClipboard", "copy", QStringLiteral("Copy To Clipboard (Ctrl-C)"));
  tbtPasteFromClipboard_ = AddToolButton("tbtPasteFromClipboard", "paste",
                                         QStringLiteral("Paste From Clipboard (Ctrl-V)"));
  AddToolSeparator();
  tbtPrev_ = AddToolButton("tbtPrev", "prev", QStringLiteral("Previous File (PgUp)"));
  tbtNext_ = AddToolButton("tbtNext", "next", QStringLiteral("Next File (PgDown)"));

  // One type is pressed at a time, and none before the first picture.
  typeGroup_ = new QActionGroup(this);
  typeGroup_->setExclusive(true);
  const struct {
    const char* Name;
    const char* Icon;
    TProcessType Type;
  } types[] = {
      {"tbt0Off", "type0", ptOriginal},
      {"tbt1Weak", "type1", ptLight},
      {"tbt2Normal", "type2", ptNormal},
      {"tbt3Strong", "type3", ptDeep},
      {"tbt99ManualTuning", "manual", ptManualTuning},
  };
  // The hint of a type's button is its name, as the status bar shows it.
  for (const auto& entry : types) {
    QToolButton* button =
        AddToolButton(entry.Name, entry.Icon, QString::fromLatin1(TypeUserName(entry.Type)));
    button->defaultAction()->setCheckable(true);
    typeGroup_->addAction(button->defaultAction());
    typeButtons_[entry.Type] = button;
  }
  tbtActualSize_ =
      AddToolButton("tbtActualSize", "actual_size", QStringLiteral("Actual Size (Z, Ctrl-1)"));
  tbtActualSize_->defaultAction()->setCheckable(true);
  AddToolSeparator();
  tbtHelp_ = AddToolButton("tbtHelp", "help", QStringLiteral("Help"));
  tbtHelp_->setFixedWidth(kToolButtonSize.width() + kMenuArrowWidth);
  CreateHelpMenu();
}

void TfrmMain::CreateHelpMenu() {
  pmHelp_ = new QMenu(this);
  pmHelp_->setObjectName(QStringLiteral("pmHelp"));
  QAction* help = pmHelp_->addAction(QString::fromStdString(sMenuHelpFile));
  help->setObjectName(QStringLiteral("miHelpFile"));
  connect(help, &QAction::triggered, this, &TfrmMain::OpenHelpFile);
  pmHelp_->addSeparator();
  QAction* about = pmHelp_->addAction(QString::fromStdString(sMenuAbout));
  about->setObjectName(QStringLiteral("miAbout"));
  connect(about, &QAction::triggered, this, &TfrmMain::ShowAbout);
  tbtHelp_->setMenu(pmHelp_);
  tbtHelp_->setPopupMode(QToolButton::MenuButtonPopup);
}

// The save's option sits on its button's menu: the system's save dialog
// has no room for it everywhere.  It is remembered at once when changed.
void TfrmMain::CreateSaveMenu() {
  pmSave_ = new QMenu(this);
  pmSave_->setObjectName(QStringLiteral("pmSave"));
  miKeepMetadata_ = pmSave_->addAction(QStringLiteral("Keep date, camera settings and GPS"));
  miKeepMetadata_->setObjectName(QStringLiteral("miKeepMetadata"));
  miKeepMetadata_->setCheckable(true);
  connect(miKeepMetadata_, &QAction::triggered, this,
          [this](bool checked) { services_.State.SetKeepMetadata(checked); });
  tbtSave_->setMenu(pmSave_);
  tbtSave_->setPopupMode(QToolButton::MenuButtonPopup);
  tbtSave_->setFixedWidth(kToolButtonSize.width() + kMenuArrowWidth);
}

// ---------------------------------------------------------------------------
// Image area, manual tuning panel, status bar

void TfrmMain::CreateManualPanel() {
  auto* central = new QWidget(this);
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  setCentralWidget(central);

  pnImage_ = new QWidget(central);
  pnImage_->setObjectName(QStringLiteral("pnImage"));
  row->addWidget(pnImage_, 1);

  pnManualTuning_ = new TManualTuningPanel(engine_, central);
  pnManualTuning_->hide();
  row->addWidget(pnManualTuning_);
}

void TfrmMain::CreateImageArea() {
  // Keyboard focus rests here, not on a button, and keys reach the window.
  auto* ed4Focus = new QWidget(pnImage_);
  ed4Focus->setObjectName(QStringLiteral("ed4Focus"));
  ed4Focus->setFixedSize(0, 0);
  ed4Focus->setFocusPolicy(Qt::StrongFocus);

  view_ = new TImageView(pnImage_);
  view_->setObjectName(QStringLiteral("imMain"));
  view_->setToolTip(QStringLiteral("Click to switch to next processing type"));
  CreateWelcomePanel();
  setFocusProxy(ed4Focus);
  ed4Focus->setFocus();
}

void TfrmMain::CreateWelcomePanel() {
  const std::string version = services_.VersionText ? services_.VersionText() : std::string();
  pnWelcome_ = new TWelcomePanel(version, pnImage_);
  connect(pnWelcome_, &TWelcomePanel::openClicked, this,
          [this] { Guarded([this] { OpenCommand(); }); });
  connect(pnWelcome_, &TWelcomePanel::pasteClicked, this,
          [this] { Guarded([this] { PasteImage(); }); });
  connect(pnWelcome_, &TWelcomePanel::linkClicked, this, &TfrmMain::OpenLink);
  pnWelcome_->raise();
}

void TfrmMain::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("sbMain"));
  bar->setSizeGripEnabled(true);
  sizePanel_ = new QLabel(bar);
  sizePanel_->setObjectName(QStringLiteral("sbMainSize"));
  sizePanel_->setFixedWidth(100);
  sizePanel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  bar->addWidget(sizePanel_);
  auto* spare = new QLabel(bar);
  spare->setFixedWidth(50);
  bar->addWidget(spare);
  // What failed and why, what is being saved, or the type on show.
  messagePanel_ = new QLabel(bar);
  messagePanel_->setObjectName(QStringLiteral("sbMainMessage"));
  messagePanel_->setTextFormat(Qt::PlainText);
  messagePanel_->setMinimumWidth(1);  // a long message is cut, never widens the window
  bar->addWidget(messagePanel_, 1);
  saveProgress_ = new QProgressBar(bar);
  saveProgress_->setObjectName(QStringLiteral("sbMainProgress"));
  saveProgress_->setFixedWidth(160);
  saveProgress_->setTextVisible(false);
  saveProgress_->hide();
  bar->addPermanentWidget(saveProgress_);
}

// ---------------------------------------------------------------------------
// Which control and which key runs which command

// The commands of the tool bar, one row each: the action its button shows,
// its keys, when its button is enabled, and what it runs.  The keys belong
// to the window's key table (HandleKey), not to the actions as shortcuts:
// a key runs its command even while the button is disabled, and it is
// passed on afterwards.
void TfrmMain::CreateCommandTable() {
  using enum TEnabling;
  using enum TKeyModifiers;
  const auto guarded = [this](std::function<void()> command) {
    return [this, command = std::move(command)] { Guarded(command); };
  };
  // A page key only beeps while no picture is current.
  const auto pageKey = [this, guarded](bool forward) {
    return guarded([this, forward] {
      services_.Files.CurrentFile.empty() ? platform_.Beep() : StepFile(forward);
    });
  };
  commands_ = {
      {tbtOpen_->defaultAction(), {{Qt::Key_O, CtrlAlone}}, Always, guarded([this] {
         OpenCommand();
       })},
      {tbtSave_->defaultAction(), {{Qt::Key_S, CtrlAlone}}, PictureOnShow, guarded([this] {
         SaveCommand();
       })},
      {tbtCopyToClipboard_->defaultAction(),
       {{Qt::Key_C, CtrlAlone}},
       PictureOnShow,
       guarded([this] { CopyCommand(); })},
      {tbtPasteFromClipboard_->defaultAction(),
       {{Qt::Key_V, CtrlAlone}},
       ClipboardPicture,
       guarded([this] { PasteImage(); })},
      {tbtPrev_->defaultAction(),
       {{Qt::Key_PageUp, Any}},
       PictureFileOnShow,
       guarded([this] { StepFile(false); }),
       pageKey(false)},
      {tbtNext_->defaultAction(),
       {{Qt::Key_PageDown, Any}},
       PictureFileOnShow,
       guarded([this] { StepFile(true); }),
       pageKey(true)},
      {tbtActualSize_->defaultAction(),
       {{Qt::Key_Z, Plain}, {Qt::Key_1, CtrlAlone}},
       PictureOnShow,
       guarded([this] { ToggleActualSize(); })},
      // Help touches no picture: it runs without the guard, as it always has.
      {tbtHelp_->defaultAction(), {{Qt::Key_F1, Any}}, Always, [this] { OpenHelpFile(); }},
  };
  for (const auto& [pressed, button] : typeButtons_) {
    const TProcessType type = pressed;
    commands_.push_back(
        {button->defaultAction(), {}, PictureOnShow, guarded([this, type] { SelectType(type); })});
  }
}

void TfrmMain::ConnectCommands() {
  CreateCommandTable();
  for (const TCommand& command : commands_)
    connect(command.Action, &QAction::triggered, this, command.Run);
  connect(view_, &TImageView::mouseDown, this, [this] { Guarded([this] { ViewMouseDown(); }); });
  connect(view_, &TImageView::mouseUp, this, [this] { Guarded([this] { ViewMouseUp(); }); });
  connect(view_, &TImageView::actualSizeChanged, tbtActualSize_->defaultAction(),
          &QAction::setChecked);
  connect(pnManualTuning_, &TManualTuningPanel::computeManualRequested, this,
          [this] { Guarded([this] { ComputeManual(); }); });
  connect(pnManualTuning_, &TManualTuningPanel::closeClicked, this,
          [this] { Guarded([this] { SelectType(ptOriginal); }); });
}

}  // namespace tavren
