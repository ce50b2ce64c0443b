#include "window/link_label.h"

#include <QIcon>
#include <QMouseEvent>
#include <QUrl>

#include "window/platform_ui.h"
#include "workflow/fixed_texts.h"

namespace tavren {

namespace {

const QColor kLinkBlue(0, 0, 255);
const QColor kLinkPressed(255, 0, 0);
const QColor kLinkVisited(128, 0, 128);

void SetTextColour(QWidget* label, const QColor& colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
}

bool IsLeftClickInside(const QWidget* widget, const QMouseEvent* event) {
  return event->button() == Qt::LeftButton && widget->rect().contains(event->position().toPoint());
}

}  // namespace

std::string WebLinkTarget(int number, const std::string& versionText) {
  switch (number) {
    case kLinkProductPage:
      return sLinkProductPage;
    case kLinkTechnologies:
      return sLinkTechnologies;
    case kLinkMakerHome:
      return sLinkMakerHome;
    case kLinkFeedback:
      return sLinkFeedback + versionText;
    default:
      return {};
  }
}

void OpenWebLink(TPlatform& platform, int number, const std::string& versionText) {
  const std::string target = WebLinkTarget(number, versionText);
  if (!target.empty()) platform.OpenUrl(QUrl(QString::fromStdString(target)));
}

void ColorLink(QWidget* label, Qt::MouseButton button, bool released) {
  if (button != Qt::LeftButton) return;
  SetTextColour(label, released ? kLinkVisited : kLinkPressed);
}

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  setCursor(Qt::PointingHandCursor);
  SetTextColour(this, kLinkBlue);
}

void TLinkLabel::mousePressEvent(QMouseEvent* event) {
  ColorLink(this, event->button(), false);
  QLabel::mousePressEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  ColorLink(this, event->button(), true);
  const bool click = IsLeftClickInside(this, event);
  QLabel::mouseReleaseEvent(event);
  if (click) emit clicked();
}

TClickablePicture::TClickablePicture(const QString& resource, QSize size, QWidget* parent)
    : QLabel(parent) {
  setFixedSize(size);
  setPixmap(QIcon(resource).pixmap(size));
  setCursor(Qt::PointingHandCursor);
}

void TClickablePicture::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = IsLeftClickInside(this, event);
  QLabel::mouseReleaseEvent(event);
  if (click) emit clicked();
}

}  // namespace tavren
