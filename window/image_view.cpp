#include "window/image_view.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
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
  SetFitted();
}

void TImageView::SetPicture(std::shared_ptr<const Image> picture) {
  shared_ = std::move(picture);
  own_ = Image();
  SetFitted();
}

void TImageView::SetFitted() {
  const bool changed = actualSize_;
  actualSize_ = false;
  unsetCursor();
  update();
  if (changed) emit actualSizeChanged(false);
}

void TImageView::SetActualSizePicture(std::shared_ptr<const Image> picture,
                                      std::optional<QPointF> centre) {
  shared_ = std::move(picture);
  own_ = Image();
  const bool changed = !actualSize_;
  actualSize_ = true;
  if (centre) {
    const QSize device = DeviceSize();
    const Image& shown = Picture();
    origin_ =
        QPoint(static_cast<int>(std::lround(centre->x() * shown.Width() - device.width() / 2.0)),
               static_cast<int>(std::lround(centre->y() * shown.Height() - device.height() / 2.0)));
  }
  ClampOrigin();
  setCursor(Qt::OpenHandCursor);
  update();
  if (changed) emit actualSizeChanged(true);
}

void TImageView::PanBy(QPoint delta) {
  if (!actualSize_) return;
  origin_ -= delta;
  ClampOrigin();
  update();
}

void TImageView::ClampOrigin() {
  const QSize device = DeviceSize();
  const auto clamp = [](int origin, int picture, int view) {
    if (picture <= view) return -((view - picture) / 2);
    return std::clamp(origin, 0, picture - view);
  };
  origin_ = QPoint(clamp(origin_.x(), Picture().Width(), device.width()),
                   clamp(origin_.y(), Picture().Height(), device.height()));
}

QRect TImageView::PictureRect() const {
  const Image& picture = Picture();
  if (actualSize_) return QRect(-origin_, QSize(picture.Width(), picture.Height()));
  const QSize device = DeviceSize();
  return ViewPictureRect(picture.Width(), picture.Height(), device.width(), device.height());
}

std::optional<QPointF> TImageView::FractionAt(QPoint pos) const {
  const QRect rect = PictureRect();
  const QPointF device = QPointF(pos) * devicePixelRatioF();
  if (!ImageHasPixels(Picture()) || rect.isEmpty() || !QRectF(rect).contains(device))
    return std::nullopt;
  return QPointF((device.x() - rect.x()) / rect.width(), (device.y() - rect.y()) / rect.height());
}

// The picture is fitted to the view's device pixels and drawn in them, so
// that a picture made for that size lands one pixel on one device pixel.
// At actual size only the part in the view is drawn.
void TImageView::paintEvent(QPaintEvent*) {
  const Image& picture = Picture();
  if (!ImageHasPixels(picture)) return;
  // The picture's own bytes, blue-green-red and packed, seen as a QImage
  // without a conversion.
  const QImage frame(picture.Data(), picture.Width(), picture.Height(),
                     static_cast<qsizetype>(picture.Stride()), QImage::Format_BGR888);
  const qreal ratio = devicePixelRatioF();
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.scale(1 / ratio, 1 / ratio);
  const QRect target = PictureRect();
  if (!actualSize_) {
    painter.drawImage(target, frame);
    return;
  }
  const QRect visible = target.intersected(QRect(QPoint(0, 0), DeviceSize()));
  painter.drawImage(visible, frame, visible.translated(origin_));
}

void TImageView::mousePressEvent(QMouseEvent* event) {
  pressedAt_ = event->position().toPoint();
  dragged_ = false;
  emit mouseDown(event->button());
}

void TImageView::mouseReleaseEvent(QMouseEvent* event) {
  if (actualSize_) setCursor(Qt::OpenHandCursor);
  emit mouseUp(event->button());
}

// At actual size a press that moves further than a click may is a drag:
// the picture follows the mouse.
void TImageView::mouseMoveEvent(QMouseEvent* event) {
  if (!actualSize_ || event->buttons() == Qt::NoButton) return;
  const QPoint at = event->position().toPoint();
  if (!dragged_ && (at - pressedAt_).manhattanLength() < QApplication::startDragDistance()) return;
  if (!dragged_) setCursor(Qt::ClosedHandCursor);
  dragged_ = true;
  PanBy(((QPointF(at - pressedAt_)) * devicePixelRatioF()).toPoint());
  pressedAt_ = at;
}

QSize TImageView::PanStep() const {
  const QSize device = DeviceSize();
  return QSize(device.width() / 10, device.height() / 10);
}

// At actual size the wheel moves the picture a step a notch, sideways with
// Shift or a sideways wheel.
void TImageView::wheelEvent(QWheelEvent* event) {
  if (!actualSize_) {
    event->ignore();
    return;
  }
  QPointF notches = QPointF(event->angleDelta()) / 120.0;
  if (event->modifiers() & Qt::ShiftModifier) notches = QPointF(notches.y(), notches.x());
  const QSize step = PanStep();
  PanBy(QPoint(static_cast<int>(std::lround(notches.x() * step.width())),
               static_cast<int>(std::lround(notches.y() * step.height()))));
  event->accept();
}

// A resized view keeps the point in its middle.
void TImageView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!actualSize_) return;
  const QSize grown = DevicePixelSize(event->size() - event->oldSize(), devicePixelRatioF());
  if (event->oldSize().isValid()) origin_ -= QPoint(grown.width() / 2, grown.height() / 2);
  ClampOrigin();
}

}  // namespace tavren
