// The view: draws the picture on show centred in its area, scaled to fit
// with the aspect ratio kept (small pictures enlarged, large ones reduced),
// rows and columns repeated or dropped, never averaged.
#pragma once

#include <QRect>
#include <QWidget>
#include <memory>

#include "imaging/image.h"

namespace tavren {

// The rectangle a w x h picture is drawn into inside a cw x ch area.
QRect FitPictureRect(int w, int h, int cw, int ch);
// The same, except that a picture made for the area (within a pixel of
// that rectangle, which truncates where the picture's size was rounded)
// is drawn at its own size: one picture pixel on one screen pixel.
QRect ViewPictureRect(int w, int h, int cw, int ch);

// The size in device pixels of a widget of this size: on a screen that
// scales, a picture made for it is painted one pixel per device pixel.
QSize DevicePixelSize(QSize size, qreal devicePixelRatio);

// Where a panel of the given size sits centred in an area: halves of an odd
// difference round to the even offset (101 gives 50, 103 gives 52).
QPoint CentredPanelOrigin(QSize area, QSize panel);

class TImageView : public QWidget {
  Q_OBJECT

 public:
  explicit TImageView(QWidget* parent = nullptr);

  // The picture on show; the view keeps its own copy, or shares a
  // picture that nobody changes.
  const Image& Picture() const { return shared_ != nullptr ? *shared_ : own_; }
  void SetPicture(const Image& picture);
  void SetPicture(std::shared_ptr<const Image> picture);
  // The view's size in device pixels.
  QSize DeviceSize() const { return DevicePixelSize(size(), devicePixelRatioF()); }

 signals:
  void mouseDown(Qt::MouseButton button);
  void mouseUp(Qt::MouseButton button);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  Image own_;
  std::shared_ptr<const Image> shared_;
};

}  // namespace tavren
