#include "window/about_box.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "window/link_label.h"
#include "window/window_resources.h"
#include "workflow/fixed_texts.h"

namespace tavren {

namespace {

constexpr int kClientWidth = 221;
constexpr int kClientHeight = 284;
constexpr int kPanelWidth = 201;
constexpr int kPanelHeight = 226;
constexpr int kPanelMargin = 14;  // left edge of the panel's labels
constexpr int kBevelWidth = 4;
constexpr int kNoticeTop = 188;
constexpr int kMakerLinkTop = 202;
const char* const kPreRelease = " pre-alpha";
const char* const kLogoPicture = "product_logo";

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The box's labels use a 12-pixel sans serif face; a link label keeps its
// underline because only family and size change.
void UseLabelFont(QWidget* label) {
  QFont font = label->font();
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Tahoma"),
                    QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Nimbus Sans"), QStringLiteral("Sans Serif")});
  font.setPixelSize(12);
  label->setFont(font);
}

template <typename Label>
Label* PlaceLabel(Label* label, const char* name, int left, int top) {
  label->setObjectName(QString::fromLatin1(name));
  UseLabelFont(label);
  label->adjustSize();
  label->move(left, top);
  return label;
}

// A label that would reach past the panel's right margin moves left until
// it fits, so a longer caption (or a wider font) is never cut off.
void KeepInsidePanel(QWidget* label) {
  const int rightLimit = kPanelWidth - kBevelWidth;
  const int overflow = label->x() + label->width() - rightLimit;
  if (overflow > 0) label->move(std::max(kPanelMargin, label->x() - overflow), label->y());
}

// The notice wraps within the panel; when it needs more than one line it
// grows upwards, so it never runs into the maker's link below it.
void PlaceNotice(QLabel* notice) {
  notice->setWordWrap(true);
  const int width = kPanelWidth - 2 * kPanelMargin;
  const int height = notice->heightForWidth(width);
  notice->setGeometry(kPanelMargin, std::min(kNoticeTop, kMakerLinkTop - height), width, height);
}

}  // namespace

TAB::TAB(TPlatform& platform, std::function<std::string()> versionText, QWidget* parent)
    : QDialog(parent), platform_(platform), versionText_(std::move(versionText)) {
  InitWindowResources();
  setObjectName(QStringLiteral("AB"));
  setWindowTitle(Text(sAboutTitle));
  setFixedSize(kClientWidth, kClientHeight);
  CreateControls();
  ConnectLinks();
}

QString TAB::VersionLine(const std::string& versionText) {
  return Text(versionText) + QString::fromLatin1(kPreRelease);
}

void TAB::CreateControls() {
  pnA = new QFrame(this);
  pnA->setObjectName(QStringLiteral("pnA"));
  // A sunken box: the lowered outer bevel around a raised inner one.
  pnA->setFrameStyle(QFrame::Box | QFrame::Sunken);
  pnA->setGeometry(10, 10, kPanelWidth, kPanelHeight);

  imWelProdLogo = new TClickablePicture(ResourcePicture(QString::fromLatin1(kLogoPicture)),
                                        QSize(172, 55), pnA);
  imWelProdLogo->setObjectName(QStringLiteral("imWelProdLogo"));
  imWelProdLogo->setToolTip(QStringLiteral("Product Home Page"));
  imWelProdLogo->setAlignment(Qt::AlignCenter);
  imWelProdLogo->move(14, 6);

  lblA1 = PlaceLabel(new QLabel(Text(sAboutVersionLabel), pnA), "lblA1", 14, 62);
  lblVV = PlaceLabel(new QLabel(VersionLine({}), pnA), "lblVV", 31, 62);
  lblA2 = PlaceLabel(new TLinkLabel(Text(sAboutProductLink), pnA), "lblA2", 14, 79);
  lblA3 = PlaceLabel(new TLinkLabel(Text(sAboutFeedbackLink), pnA), "lblA3", 149, 79);
  lblA3->setToolTip(Text(sAboutFeedbackHint));
  KeepInsidePanel(lblA3);
  lblA4 = PlaceLabel(new QLabel(Text(sAboutNotice), pnA), "lblA4", kPanelMargin, kNoticeTop);
  PlaceNotice(lblA4);
  lblA5 =
      PlaceLabel(new TLinkLabel(Text(sAboutMakerLink), pnA), "lblA5", kPanelMargin, kMakerLinkTop);
  KeepInsidePanel(lblA5);

  btnA6 = new QPushButton(Text(sAboutOK), this);
  btnA6->setObjectName(QStringLiteral("btnA6"));
  btnA6->setGeometry(73, 247, 75, 25);
  btnA6->setDefault(true);
  connect(btnA6, &QPushButton::clicked, this, &QDialog::accept);
}

void TAB::ConnectLinks() {
  connect(imWelProdLogo, &TClickablePicture::clicked, this, [this] { OpenLink(kLinkProductPage); });
  connect(lblA2, &TLinkLabel::clicked, this, [this] { OpenLink(kLinkProductPage); });
  connect(lblA3, &TLinkLabel::clicked, this, [this] { OpenLink(kLinkFeedback); });
  connect(lblA5, &TLinkLabel::clicked, this, [this] { OpenLink(kLinkMakerHome); });
}

// The version is read at the click, so the feedback link always names the
// version of the program file as it is now.
void TAB::OpenLink(int number) {
  const std::string version = number == kLinkFeedback ? CurrentVersion() : std::string();
  OpenWebLink(platform_, number, version);
}

std::string TAB::CurrentVersion() const { return versionText_ ? versionText_() : std::string(); }

void TAB::showEvent(QShowEvent* event) {
  lblVV->setText(VersionLine(CurrentVersion()));
  lblVV->adjustSize();
  QDialog::showEvent(event);
  CentreOnScreen();
}

// The box stands in the middle of the screen, not over the main window.
void TAB::CentreOnScreen() {
  const QScreen* display = screen();
  if (display == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(display->geometry().center());
  move(frame.topLeft());
}

// OK is the cancel button too: Esc closes the box with the OK result.
void TAB::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Cancel)) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace tavren
