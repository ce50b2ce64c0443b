// The view: draws the picture on show centred in its area, scaled to fit
// with the aspect ratio kept (small pictures enlarged, large ones reduced),
// rows and columns repeated or dropped, never averaged.
#pragma once

#include <QRect>
#include <QWidget>
#include <utility>

#include "imaging/image.h"

namespace tavren {

// The rectangle a w x h picture is drawn into inside a cw x ch area.
QRect FitPictureRect(int w, int h, int cw, int ch);

// Where a panel of the given size sits centred in an area: halves of an odd
// difference round to the even offset (101 gives 50, 103 gives 52).
QPoint CentredPanelOrigin(QSize area, QSize panel);

class TImageView : public QWidget {
  Q_OBJECT

 public:
  explicit TImageView(QWidget* parent = nullptr);

  // The picture on show; the view keeps its own copy.
  const Image& Picture() const { return picture_; }
  void SetPicture(const Image& picture);
  void SetPicture(Image&& picture);
  // Hands the picture over, leaving the view empty until the next one.
  Image TakePicture() { return std::move(picture_); }

 signals:
  void mouseDown(Qt::MouseButton button);
  void mouseUp(Qt::MouseButton button);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  Image picture_;
};

}  // namespace tavren
