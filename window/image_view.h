// The view: draws the picture on show centred in its area, scaled to fit
// with the aspect ratio kept (small pictures enlarged, large ones reduced),
// rows and columns repeated or dropped, never averaged.  At actual size it
// draws one picture pixel per device pixel instead, from a place the user
// moves by dragging, the wheel or the window's keys.
#pragma once

#include <QRect>
#include <QWidget>
#include <memory>
#include <optional>

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
  // Shows picture fitted to the view.
  void SetPicture(const Image& picture);
  void SetPicture(std::shared_ptr<const Image> picture);
  // Shows picture at actual size with the point at `centre` (fractions of
  // its width and height) in the middle of the view; without a centre, at
  // the place the last picture at actual size had.
  void SetActualSizePicture(std::shared_ptr<const Image> picture,
                            std::optional<QPointF> centre = std::nullopt);
  bool ActualSize() const { return actualSize_; }
  // At actual size: the picture pixel at the view's top left corner
  // (negative where a small picture is centred).
  QPoint Origin() const { return origin_; }
  // Moves the picture at actual size by delta device pixels (a drag to
  // the right shows more of the left).
  void PanBy(QPoint delta);
  // How far a wheel's notch or an arrow key moves the picture: a tenth of
  // the view.
  QSize PanStep() const;
  // The picture point under pos (in the view's coordinates) as fractions
  // of the picture's width and height; none outside the picture.
  std::optional<QPointF> FractionAt(QPoint pos) const;
  // True when the mouse moved the picture since the button went down: the
  // press was a drag, not a click.
  bool Dragged() const { return dragged_; }
  // The view's size in device pixels.
  QSize DeviceSize() const { return DevicePixelSize(size(), devicePixelRatioF()); }

 signals:
  void mouseDown(Qt::MouseButton button);
  void mouseUp(Qt::MouseButton button);
  // The view went from fitted to actual size or back.
  void actualSizeChanged(bool actualSize);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void SetFitted();
  // Where the picture lands in the view, in device pixels.
  QRect PictureRect() const;
  // Keeps a picture larger than the view covering it, and a smaller one
  // centred.
  void ClampOrigin();

  Image own_;
  std::shared_ptr<const Image> shared_;
  bool actualSize_ = false;
  QPoint origin_;
  QPoint pressedAt_;  // where the button went down, or the drag last was
  bool dragged_ = false;
};

}  // namespace tavren
