// The copy command: the picture the save would write, at full size, put on
// the clipboard as a bitmap for other programs (and this one) to paste.
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <algorithm>
#include <new>

#include "window/main_window.h"
#include "window/platform_ui.h"
#include "workflow/files.h"
#include "workflow/save_job.h"
#include "workflow/status_text.h"

namespace tavren {

namespace {

// The working image as a QImage of the same bytes (24 bits,
// blue-green-red); Qt gives a null picture when it lacks the memory.
QImage QImageOf(const Image& image) {
  QImage picture(image.Width(), image.Height(), QImage::Format_BGR888);
  if (picture.isNull()) throw std::bad_alloc();
  for (std::int32_t y = 0; y < image.Height(); ++y)
    std::copy_n(image.Row(y), image.Stride(), picture.scanLine(y));
  return picture;
}

}  // namespace

// Runs as the save does: the wait cursor, the window painted, commands
// ignored until the picture is ready; a failure shows as a failed save's.
void TfrmMain::CopyCommand() {
  if (engine_.BaseImage() == nullptr) {  // nothing processed yet
    Fail("No picture to copy yet.");
    return;
  }
  std::string failure;
  {
    TWaitCursor wait(platform_);
    failure = RunCopy();
  }
  if (failure.empty())
    Succeeded();
  else
    ReportCopyFailure(failure);
  if (closeWhenDone_) close();
}

// The full-size picture is made and turned into a bitmap on the save's
// thread; the clipboard belongs to this one.
std::string TfrmMain::RunCopy() {
  QImage copied;
  TSaveJob job(engine_, [&copied](const Image& picture) { copied = QImageOf(picture); });
  std::string failure = RunSaveJob(job, "Copying to the clipboard\u2026");
  if (!failure.empty()) return failure;
  try {
    QGuiApplication::clipboard()->setImage(copied);
  } catch (const std::exception& error) {
    failure = ReasonOf(error);
  }
  return failure;
}

void TfrmMain::ReportCopyFailure(const std::string& reason) {
  failure_ = FailureMessage(services_.Files.CurrentFile, "not copied to the clipboard: " + reason);
  ShowStatus();
  platform_.ShowError(this, QStringLiteral("Copy Image"),
                      QStringLiteral("The picture could not be copied to the clipboard.\n\n%1")
                          .arg(QString::fromStdString(reason)));
}

}  // namespace tavren
