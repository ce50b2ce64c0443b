#include "window/image_view.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <cstdlib>

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

QRect ViewPictureRect(int w, int h, int cw, int ch) {
  const QRect fitted = FitPictureRect(w, h, cw, ch);
  if (std::abs(fitted.width() - w) > 1 || std::abs(fitted.height() - h) > 1) return fitted;
  return QRect((cw - w) / 2, (ch - h) / 2, w, h);
}

QSize DevicePixelSize(QSize size, qreal devicePixelRatio) {
  return (QSizeF(size) * devicePixelRatio).toSize();
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
  shared_.reset();
  own_.Assign(picture);
  update();
}

void TImageView::SetPicture(std::shared_ptr<const Image> picture) {
  shared_ = std::move(picture);
  own_ = Image();
  update();
}

// The picture is fitted to the view's device pixels and drawn in them, so
// that a picture made for that size lands one pixel on one device pixel.
void TImageView::paintEvent(QPaintEvent*) {
  const Image& picture = Picture();
  if (!ImageHasPixels(picture)) return;
  // The picture's own bytes, blue-green-red and packed, seen as a QImage
  // without a conversion.
  const QImage frame(picture.Data(), picture.Width(), picture.Height(),
                     static_cast<qsizetype>(picture.Stride()), QImage::Format_BGR888);
  const qreal ratio = devicePixelRatioF();
  const QSize device = DeviceSize();
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.scale(1 / ratio, 1 / ratio);
  painter.drawImage(
      ViewPictureRect(picture.Width(), picture.Height(), device.width(), device.height()), frame);
}

void TImageView::mousePressEvent(QMouseEvent* event) { emit mouseDown(event->button()); }

void TImageView::mouseReleaseEvent(QMouseEvent* event) { emit mouseUp(event->button()); }

}  // namespace tavren
