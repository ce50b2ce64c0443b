#include "window/welcome_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "window/link_label.h"
#include "window/window_resources.h"
#include "workflow/fixed_texts.h"

namespace tavren {

namespace {

constexpr QSize kWelcomeSize(580, 306);
constexpr int kWelcomeTopHeight = 80;
const QColor kWelcomeMiddleColour(249, 249, 239);  // stored as EFF9F9: blue first

QFont ArialPixels(int pixels) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixels);
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

// A flat quick-start button: icon and text, left-aligned like a link.
QPushButton* QuickStartButton(const char* name, const char* icon, const char* text,
                              QWidget* parent) {
  auto* button = new QPushButton(QIcon(ResourcePicture(QLatin1String(icon))),
                                 QString::fromLatin1(text), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setFlat(true);
  button->setFont(ArialPixels(16));
  button->setIconSize(QSize(24, 24));
  button->setCursor(Qt::PointingHandCursor);
  button->setFocusPolicy(Qt::NoFocus);
  button->setStyleSheet(QStringLiteral("text-align: left"));
  return button;
}

}  // namespace

TWelcomePanel::TWelcomePanel(const std::string& versionText, QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("pnWelcome"));
  setFixedSize(kWelcomeSize);
  auto* bands = new QVBoxLayout(this);
  bands->setContentsMargins(0, 0, 0, 0);
  bands->setSpacing(0);
  bands->addWidget(CreateTop(versionText));
  bands->addWidget(CreateMiddle(), 1);
}

QWidget* TWelcomePanel::CreateTop(const std::string& versionText) {
  auto* top = new QFrame(this);
  top->setObjectName(QStringLiteral("pnWelcomeTop"));
  top->setFixedHeight(kWelcomeTopHeight);
  Paint(top, Qt::white);
  auto* row = new QHBoxLayout(top);
  row->setContentsMargins(12, 4, 12, 0);

  auto* left = new QVBoxLayout;
  left->setSpacing(0);
  auto* productLogo =
      new TClickablePicture(ResourcePicture(QStringLiteral("product_logo")), QSize(172, 55), top);
  productLogo->setObjectName(QStringLiteral("imWelProdLogo"));
  productLogo->setToolTip(QString::fromStdString(sProgramName) + QStringLiteral(" Product Page"));
  connect(productLogo, &TClickablePicture::clicked, this,
          [this] { emit linkClicked(kLinkProductPage); });
  left->addWidget(productLogo);

  lblWelVersion_ =
      new QLabel(QStringLiteral("Version ") + QString::fromStdString(versionText), top);
  lblWelVersion_->setObjectName(QStringLiteral("lblWelVersion"));
  lblWelVersion_->setFont(ArialPixels(11));
  lblWelVersion_->setStyleSheet(QStringLiteral("color: grey"));
  lblWelVersion_->setCursor(Qt::PointingHandCursor);
  lblWelVersion_->setToolTip(QStringLiteral("Product Home Page"));
  lblWelVersion_->installEventFilter(this);
  left->addWidget(lblWelVersion_);
  row->addLayout(left);
  row->addStretch(1);

  auto* makerLogo =
      new TClickablePicture(ResourcePicture(QStringLiteral("maker_logo")), QSize(87, 79), top);
  makerLogo->setObjectName(QStringLiteral("imWelMakerLogo"));
  connect(makerLogo, &TClickablePicture::clicked, this,
          [this] { emit linkClicked(kLinkMakerHome); });
  row->addWidget(makerLogo, 0, Qt::AlignTop);
  return top;
}

QWidget* TWelcomePanel::CreateMiddle() {
  auto* middle = new QFrame(this);
  middle->setObjectName(QStringLiteral("pnWelcomeMiddle"));
  Paint(middle, kWelcomeMiddleColour);
  auto* columns = new QHBoxLayout(middle);
  columns->setContentsMargins(16, 10, 16, 10);
  columns->setSpacing(14);
  columns->addLayout(CreateQuickStartColumn(middle), 3);

  auto* divider = new QFrame(middle);
  divider->setFrameShape(QFrame::VLine);
  divider->setFrameShadow(QFrame::Raised);
  columns->addWidget(divider);

  columns->addLayout(CreateAboutColumn(middle), 2);
  return middle;
}

QLayout* TWelcomePanel::CreateQuickStartColumn(QWidget* middle) {
  auto* column = new QVBoxLayout;
  auto* heading = new QLabel(QStringLiteral("Qiuck Start Help"), middle);
  heading->setObjectName(QStringLiteral("lblWelHeading"));
  heading->setFont(ArialPixels(19));
  column->addWidget(heading);

  QPushButton* open = QuickStartButton("sbtWelOpen", "open", "Open Image File", middle);
  connect(open, &QPushButton::clicked, this, &TWelcomePanel::openClicked);
  column->addWidget(open);
  QPushButton* paste =
      QuickStartButton("sbtWelPaste", "paste", "Paste Image From Clipboard", middle);
  connect(paste, &QPushButton::clicked, this, &TWelcomePanel::pasteClicked);
  column->addWidget(paste);

  auto* drop = new QLabel(middle);
  drop->setObjectName(QStringLiteral("pnWelDrop"));
  drop->setFont(ArialPixels(16));
  drop->setText(QStringLiteral("<img src=\"%1\" width=24 height=24>")
                    .arg(ResourcePicture(QStringLiteral("drop"))) +
                QStringLiteral("            Drad and Drop Image File")
                    .toHtmlEscaped()
                    .replace(QLatin1Char(' '), QStringLiteral("&nbsp;")));
  column->addWidget(drop);
  column->addWidget(TextLabel(QStringLiteral("Then click on image to switch between processing "
                                             "types. Choose best one and save it."),
                              middle));
  column->addStretch(1);
  return column;
}

QLayout* TWelcomePanel::CreateAboutColumn(QWidget* middle) {
  auto* column = new QVBoxLayout;
  column->addWidget(TextLabel(QString::fromStdString(sProgramName) +
                                  QStringLiteral(" is one of the Brisolm Imaging photo tools. "
                                                 "Read more about our"),
                              middle));
  column->addWidget(MakeLink("techologies.", "lblTechLink", kLinkTechnologies, middle));
  column->addWidget(TextLabel(QStringLiteral("Lumora balances tones, Clarivex clears haze. "
                                             "Ideas or trouble? Please"),
                              middle));
  auto* feedbackRow = new QHBoxLayout;
  feedbackRow->addWidget(MakeLink("send us", "Label22", kLinkFeedback, middle));
  feedbackRow->addWidget(TextLabel(QStringLiteral("a line."), middle));
  feedbackRow->addStretch(1);
  column->addLayout(feedbackRow);
  column->addStretch(1);
  return column;
}

QWidget* TWelcomePanel::MakeLink(const char* text, const char* name, int number, QWidget* parent) {
  auto* link = new TLinkLabel(QString::fromLatin1(text), parent);
  link->setObjectName(QLatin1String(name));
  link->setFont(ArialPixels(13));
  connect(link, &TLinkLabel::clicked, this, [this, number] { emit linkClicked(number); });
  return link;
}

// The version label opens the product page on a left-button release.
bool TWelcomePanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lblWelVersion_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<const QMouseEvent&>(*event).button() == Qt::LeftButton)
    emit linkClicked(kLinkProductPage);
  return QFrame::eventFilter(watched, event);
}

}  // namespace tavren
