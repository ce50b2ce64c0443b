#include "window/image_view.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "imaging/numeric.h"

namespace tavren {

QRect FitPictureRect(int w, int h, int cw, int ch) {
  if (w <= 0 || h <= 0) return {};
  const long double x = static_cast<long double>(w) / h;
  long double width;
  long double height;
  if (w > h) {
    width = cw;
    height = Trunc(cw / x);
    if (height > ch) {
      height = ch;
      width = Trunc(x * ch);
    }
  } else {
    height = ch;
    width = Trunc(x * ch);
    if (width > cw) {
      width = cw;
      height = Trunc(cw / x);
    }
  }
  const int iw = static_cast<int>(width);
  const int ih = static_cast<int>(height);
  return QRect((cw - iw) / 2, (ch - ih) / 2, iw, ih);
}

QPoint CentredPanelOrigin(QSize area, QSize panel) {
  const long double dx = static_cast<long double>(area.width() - panel.width()) / 2;
  const long double dy = static_cast<long double>(area.height() - panel.height()) / 2;
  return QPoint(static_cast<int>(Round(dx)), static_cast<int>(Round(dy)));
}

TImageView::TImageView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TImageView::SetPicture(const Image& picture) {
  picture_.Assign(picture);
  update();
}

void TImageView::SetPicture(Image&& picture) {
  picture_ = std::move(picture);
  update();
}

void TImageView::paintEvent(QPaintEvent*) {
  if (!ImageHasPixels(picture_)) return;
  // The picture's own bytes, blue-green-red and packed, seen as a QImage
  // without a conversion.
  const QImage frame(picture_.Data(), picture_.Width(), picture_.Height(),
                     static_cast<qsizetype>(picture_.Stride()), QImage::Format_BGR888);
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(FitPictureRect(picture_.Width(), picture_.Height(), width(), height()),
                    frame);
}

void TImageView::mousePressEvent(QMouseEvent* event) { emit mouseDown(event->button()); }

void TImageView::mouseReleaseEvent(QMouseEvent* event) { emit mouseUp(event->button()); }

}  // namespace tavren
