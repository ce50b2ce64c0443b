// How the main window is put together: tool bar, image area, welcome panel,
// manual tuning panel and status bar, and which command each control runs.
#include <QAction>
#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "workflow/fixed_texts.h"
#include "window/image_view.h"
#include "window/link_label.h"
#include "window/main_window.h"
#include "window/manual_panel.h"

namespace tavren {

namespace {

constexpr int kToolBarHeight = 44;
constexpr QSize kToolButtonSize(39, 38);
constexpr int kToolIconSize = 32;
constexpr int kToolSeparatorWidth = 8;
constexpr QSize kWelcomeSize(580, 306);
constexpr int kWelcomeTopHeight = 80;
const QColor kWelcomeMiddleColour(249, 249, 239);  // stored as EFF9F9: blue first

QFont ArialPixels(int pixels, bool bold = false) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

QLabel* TextLabel(const QString& text, QWidget* parent, int pixels = 13) {
  auto* label = new QLabel(text, parent);
  label->setFont(ArialPixels(pixels));
  label->setWordWrap(true);
  return label;
}

void Paint(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

}  // namespace

// ---------------------------------------------------------------------------
// Tool bar

QToolButton* TfrmMain::AddToolButton(const char* name, const char* icon, const QString& hint) {
  auto* button = new QToolButton(tbMain_);
  button->setObjectName(QString::fromLatin1(name));
  button->setIcon(QIcon(QStringLiteral(":/resources/%1.svg").arg(QLatin1String(icon))));
  button->setIconSize(QSize(kToolIconSize, kToolIconSize));
  button->setFixedSize(kToolButtonSize);
  button->setAutoRaise(true);
  button->setToolTip(hint);
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
  tbtPasteFromClipboard_ = AddToolButton("tbtPasteFromClipboard", "paste",
                                         QStringLiteral("Paste From Clipboard (Ctrl-V)"));
  AddToolSeparator();
  tbtPrev_ = AddToolButton("tbtPrev", "prev", QStringLiteral("Previous File (PgUp)"));
  tbtNext_ = AddToolButton("tbtNext", "next", QStringLiteral("Next File (PgDown)"));

  typeGroup_ = new QButtonGroup(this);
  typeGroup_->setExclusive(true);
  const struct {
    const char* name;
    const char* icon;
    const char* hint;
    TProcessType type;
  } types[] = {
      {"tbt0Off", "type0", "Original", ptOriginal},
      {"tbt1Weak", "type1", "Light", ptLight},
      {"tbt2Normal", "type2", "Normal", ptNormal},
      {"tbt3Strong", "type3", "Deep", ptDeep},
      {"tbt99ManualTuning", "manual", "Manual Tuning", ptManualTuning},
  };
  for (const auto& entry : types) {
    QToolButton* button = AddToolButton(entry.name, entry.icon, QString::fromLatin1(entry.hint));
    button->setCheckable(true);
    typeGroup_->addButton(button, entry.type);
    typeButtons_[entry.type] = button;
  }
  AddToolSeparator();
  tbtHelp_ = AddToolButton("tbtHelp", "help", QStringLiteral("Help"));
  tbtHelp_->setFixedWidth(kToolButtonSize.width() + 14);  // room for the menu arrow
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
  pnWelcome_ = new QFrame(pnImage_);
  pnWelcome_->setObjectName(QStringLiteral("pnWelcome"));
  pnWelcome_->setFixedSize(kWelcomeSize);
  auto* bands = new QVBoxLayout(pnWelcome_);
  bands->setContentsMargins(0, 0, 0, 0);
  bands->setSpacing(0);
  bands->addWidget(CreateWelcomeTop());
  bands->addWidget(CreateWelcomeMiddle(), 1);
  pnWelcome_->raise();
}

QWidget* TfrmMain::CreateWelcomeTop() {
  auto* top = new QFrame(pnWelcome_);
  top->setObjectName(QStringLiteral("pnWelcomeTop"));
  top->setFixedHeight(kWelcomeTopHeight);
  Paint(top, Qt::white);
  auto* row = new QHBoxLayout(top);
  row->setContentsMargins(12, 4, 12, 0);

  auto* left = new QVBoxLayout;
  left->setSpacing(0);
  auto* productLogo = new TClickablePicture(QStringLiteral(":/resources/product_logo.svg"),
                                            QSize(172, 55), top);
  productLogo->setObjectName(QStringLiteral("imWelProdLogo"));
  productLogo->setToolTip(QString::fromStdString(sProgramName) + QStringLiteral(" Product Page"));
  connect(productLogo, &TClickablePicture::clicked, this, [this] { OpenLink(kLinkProductPage); });
  left->addWidget(productLogo);

  const std::string version = services_.versionText ? services_.versionText() : std::string();
  lblWelVersion_ = new QLabel(QStringLiteral("Version ") + QString::fromStdString(version), top);
  lblWelVersion_->setObjectName(QStringLiteral("lblWelVersion"));
  lblWelVersion_->setFont(ArialPixels(11));
  lblWelVersion_->setStyleSheet(QStringLiteral("color: grey"));
  lblWelVersion_->setCursor(Qt::PointingHandCursor);
  lblWelVersion_->setToolTip(QStringLiteral("Product Home Page"));
  left->addWidget(lblWelVersion_);
  row->addLayout(left);
  row->addStretch(1);

  auto* makerLogo = new TClickablePicture(QStringLiteral(":/resources/maker_logo.svg"),
                                          QSize(87, 79), top);
  makerLogo->setObjectName(QStringLiteral("imWelMakerLogo"));
  connect(makerLogo, &TClickablePicture::clicked, this, [this] { OpenLink(kLinkMakerHome); });
  row->addWidget(makerLogo, 0, Qt::AlignTop);
  return top;
}

QWidget* TfrmMain::CreateWelcomeMiddle() {
  auto* middle = new QFrame(pnWelcome_);
  middle->setObjectName(QStringLiteral("pnWelcomeMiddle"));
  Paint(middle, kWelcomeMiddleColour);
  auto* columns = new QHBoxLayout(middle);
  columns->setContentsMargins(16, 10, 16, 10);
  columns->setSpacing(14);

  auto* left = new QVBoxLayout;
  auto* heading = new QLabel(QStringLiteral("Qiuck Start Help"), middle);
  heading->setFont(ArialPixels(19, true));
  left->addWidget(heading);
  auto makeButton = [&](const char* name, const char* icon, const char* text) {
    auto* button = new QPushButton(QIcon(QStringLiteral(":/resources/%1.svg").arg(QLatin1String(icon))),
                                   QString::fromLatin1(text), middle);
    button->setObjectName(QString::fromLatin1(name));
    button->setFlat(true);
    button->setFont(ArialPixels(16));
    button->setIconSize(QSize(24, 24));
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QStringLiteral("text-align: left"));
    left->addWidget(button);
    return button;
  };
  QPushButton* open = makeButton("sbtWelOpen", "open", "Open Image File");
  connect(open, &QPushButton::clicked, this, [this] { Guarded([this] { OpenCommand(); }); });
  QPushButton* paste = makeButton("sbtWelPaste", "paste", "Paste Image From Clipboard");
  connect(paste, &QPushButton::clicked, this, [this] { Guarded([this] { PasteImage(); }); });

  auto* drop = new QLabel(middle);
  drop->setObjectName(QStringLiteral("pnWelDrop"));
  drop->setFont(ArialPixels(16));
  drop->setText(QStringLiteral("<img src=\":/resources/drop.svg\" width=24 height=24>") +
                QStringLiteral("            Drad and Drop Image File").toHtmlEscaped().replace(
                    QLatin1Char(' '), QStringLiteral("&nbsp;")));
  left->addWidget(drop);
  left->addWidget(TextLabel(QStringLiteral("Then click on image to switch between processing "
                                           "types. Choose best one and save it."),
                            middle));
  left->addStretch(1);
  columns->addLayout(left, 3);

  auto* divider = new QFrame(middle);
  divider->setFrameShape(QFrame::VLine);
  divider->setFrameShadow(QFrame::Raised);
  columns->addWidget(divider);

  auto* right = new QVBoxLayout;
  right->addWidget(TextLabel(QString::fromStdString(sProgramName) +
                                 QStringLiteral(" is one of the Brisolm Imaging photo tools. "
                                                "Read more about our"),
                             middle));
  auto* tech = new TLinkLabel(QStringLiteral("techologies."), middle);
  tech->setObjectName(QStringLiteral("lblTechLink"));
  tech->setFont(ArialPixels(13));
  connect(tech, &TLinkLabel::clicked, this, [this] { OpenLink(kLinkTechnologies); });
  right->addWidget(tech);
  right->addWidget(TextLabel(QStringLiteral("Lumora balances tones, Clarivex clears haze. "
                                            "Ideas or trouble? Please"),
                             middle));
  auto* feedback = new TLinkLabel(QStringLiteral("send us"), middle);
  feedback->setObjectName(QStringLiteral("Label22"));
  feedback->setFont(ArialPixels(13));
  connect(feedback, &TLinkLabel::clicked, this, [this] { OpenLink(kLinkFeedback); });
  auto* feedbackRow = new QHBoxLayout;
  feedbackRow->addWidget(feedback);
  feedbackRow->addWidget(TextLabel(QStringLiteral("a line."), middle));
  feedbackRow->addStretch(1);
  right->addLayout(feedbackRow);
  right->addStretch(1);
  columns->addLayout(right, 2);
  return middle;
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
}

// ---------------------------------------------------------------------------
// Which control runs which command

void TfrmMain::ConnectCommands() {
  auto guarded = [this](void (TfrmMain::*command)()) {
    return [this, command] { Guarded([this, command] { (this->*command)(); }); };
  };
  connect(tbtOpen_, &QToolButton::clicked, this, guarded(&TfrmMain::OpenCommand));
  connect(tbtSave_, &QToolButton::clicked, this, guarded(&TfrmMain::SaveCommand));
  connect(tbtPasteFromClipboard_, &QToolButton::clicked, this, guarded(&TfrmMain::PasteImage));
  connect(tbtPrev_, &QToolButton::clicked, this, [this] { Guarded([this] { StepFile(false); }); });
  connect(tbtNext_, &QToolButton::clicked, this, [this] { Guarded([this] { StepFile(true); }); });
  connect(tbtHelp_, &QToolButton::clicked, this, &TfrmMain::OpenHelpFile);
  connect(typeGroup_, &QButtonGroup::idClicked, this, [this](int type) {
    Guarded([this, type] {
      engine_.Press(static_cast<TProcessType>(type));
      ProcessLevelChange();
    });
  });
  connect(view_, &TImageView::mouseDown, this, [this] { Guarded([this] { ViewMouseDown(); }); });
  connect(view_, &TImageView::mouseUp, this, [this] { Guarded([this] { ViewMouseUp(); }); });
  connect(pnManualTuning_, &TManualTuningPanel::computeManualRequested, this,
          [this] { Guarded([this] { ComputeManual(); }); });
  connect(pnManualTuning_, &TManualTuningPanel::closeClicked, this,
          [this] { Guarded([this] { SelectType(ptOriginal); }); });
}

}  // namespace tavren
