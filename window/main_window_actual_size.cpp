// The picture on show at actual size: one pixel of the full-size result,
// exactly as saving writes it, on one device pixel.  The place stays while
// the user switches types or holds the mouse for comparison; a new picture
// comes back fitted.
#include <QAction>
#include <QCursor>
#include <QKeyEvent>
#include <QToolButton>

#include "window/image_view.h"
#include "window/main_window.h"

namespace tavren {

void TfrmMain::ToggleActualSize() {
  if (view_->ActualSize())
    LeaveActualSize();
  else if (engine_.BaseImage() != nullptr)
    EnterActualSize(view_->FractionAt(view_->mapFromGlobal(QCursor::pos())));
  // A click on the button checked it already, even when nothing changed.
  tbtActualSize_->defaultAction()->setChecked(view_->ActualSize());
}

void TfrmMain::EnterActualSize(std::optional<QPointF> centre) {
  std::shared_ptr<const Image> picture = ActualSizePicture();
  if (picture != nullptr)
    view_->SetActualSizePicture(std::move(picture), centre.value_or(QPointF(0.5, 0.5)));
}

void TfrmMain::LeaveActualSize() {
  if (const Image* shown = engine_.ShownResult()) view_->SetPicture(*shown);
}

// What the engine shows now, at actual size, in the place of the last.
void TfrmMain::ShowActualSize() {
  std::shared_ptr<const Image> picture = ActualSizePicture();
  if (picture != nullptr) view_->SetActualSizePicture(std::move(picture));
}

// Made in the background when the engine does not have it yet: the wait
// cursor shows only then.
std::shared_ptr<const Image> TfrmMain::ActualSizePicture() {
  if (engine_.ActualSizeShown() == nullptr) {
    TBlockingWork work(*this);
    RunInBackground([this] { engine_.ComputeActualSize(); });
  }
  return engine_.ActualSizeShown();
}

// A new picture shows fitted.
void TfrmMain::ShowFitted(const Image* image) {
  if (image != nullptr) view_->SetPicture(*image);
}

// At actual size the arrow keys move the picture.
bool TfrmMain::PanByKey(const QKeyEvent& key) {
  if (!view_->ActualSize()) return false;
  const QSize step = view_->PanStep();
  switch (key.key()) {
    case Qt::Key_Left:
      view_->PanBy(QPoint(step.width(), 0));
      return true;
    case Qt::Key_Right:
      view_->PanBy(QPoint(-step.width(), 0));
      return true;
    case Qt::Key_Up:
      view_->PanBy(QPoint(0, step.height()));
      return true;
    case Qt::Key_Down:
      view_->PanBy(QPoint(0, -step.height()));
      return true;
    default:
      return false;
  }
}

}  // namespace tavren
