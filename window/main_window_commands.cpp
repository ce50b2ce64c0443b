// The main window's commands: bringing a picture in (open, drop, paste,
// previous and next file), computing and switching its processing types,
// saving, help and the about box.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QImage>
#include <QProgressBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <new>
#include <thread>

#include "picture_io/picture_files.h"
#include "picture_io/picture_formats.h"
#include "picture_io/picture_limits.h"
#include "picture_io/save_names.h"
#include "system/error.h"
#include "system/file_names.h"
#include "window/about_box.h"
#include "window/image_view.h"
#include "window/link_label.h"
#include "window/main_window.h"
#include "window/manual_panel.h"
#include "window/platform_ui.h"
#include "workflow/files.h"
#include "workflow/fixed_texts.h"
#include "workflow/help_file.h"
#include "workflow/picture_cache.h"
#include "workflow/save_job.h"
#include "workflow/state.h"
#include "workflow/status_text.h"

namespace tavren {

Image ImageFromQImage(const QImage& picture) {
  const QImage packed = picture.convertToFormat(QImage::Format_BGR888);
  Image image;
  if (packed.isNull() || packed.width() <= 0 || packed.height() <= 0) return image;
  image.Reset(packed.width(), packed.height());
  for (int y = 0; y < packed.height(); ++y)
    std::copy_n(packed.constScanLine(y), image.Stride(), image.Row(y));
  return image;
}

// An error that a command does not handle itself reaches the user in a
// message box, as the general error handler of the program.  While a save
// or other work runs, no command starts.
void TfrmMain::Guarded(const std::function<void()>& command) {
  if (Busy()) return;
  try {
    command();
  } catch (const std::exception& error) {
    const std::string reason = ReasonOf(error);
    failure_ = FailureMessage(services_.Files.CurrentFile, reason);
    ShowStatus();
    platform_.ShowError(this, QString::fromStdString(sProgramName), QString::fromStdString(reason));
  }
}

void TfrmMain::Fail(const std::string& message) {
  platform_.Beep();
  failure_ = message;
  ShowStatus();
}

void TfrmMain::Succeeded() {
  failure_.clear();
  ShowStatus();
}

void TfrmMain::ShowStatus() {
  messagePanel_->setText(QString::fromStdString(StatusText(failure_, engine_)));
}

// ---------------------------------------------------------------------------
// Intake

void TfrmMain::OpenCommand() {
  const QString chosen = platform_.AskOpenFile(this);
  if (chosen.isEmpty()) return;
  view_->repaint();
  OpenImage(chosen.toStdString(), false);
}

namespace {

// The intake's own words for a file it does not take; it refuses by the
// name alone, before reading anything.
std::string RefusalOf(const std::string& path) {
  try {
    LoadPicture(path);
  } catch (const std::exception& error) {
    return FailureMessage(path, ReasonOf(error));
  }
  return FailureMessage(path, "not a picture this program opens");
}

}  // namespace

bool TfrmMain::OpenImage(const std::string& path, bool useStoredViewSize) {
  readAhead_.Focus(path);
  std::shared_ptr<const Image> picture = services_.Cache.Find(path);
  if (picture != nullptr) {
    // Read ahead or opened before: the commands are those of any opened file.
    SetCommandsEnabled(true, false);
    return ShowAndCompute(path, std::move(picture), useStoredViewSize);
  }
  if (!IsOpenablePicture(path)) {
    Fail(RefusalOf(path));
    return false;
  }
  std::string failure;
  bool shown = false;
  {
    // One hold from the decoding to the last type, so a request to end the
    // program meanwhile ends it at once.
    TBlockingWork work(*this);
    SetCommandsEnabled(false, true);
    failure = LoadIntoCache(path, picture);
    SetCommandsEnabled(true, false);
    if (failure.empty() && !WorkCancelled()) {
      HideWelcome();
      shown = ShowAndCompute(path, std::move(picture), useStoredViewSize);
    }
  }
  if (!failure.empty()) Fail(failure);
  return shown;
}

bool TfrmMain::ShowAndCompute(const std::string& path, std::shared_ptr<const Image> picture,
                              bool useStoredViewSize) {
  ShowOpened(path, *picture);
  const QSize limits = ViewLimits(useStoredViewSize);
  // Prepared variants show at once; otherwise the picture itself is on
  // show while they are computed.
  if (!readAhead_.Prepared(path, *picture, limits.height(), limits.width())) {
    view_->SetPicture(picture);
    repaint();
  }
  return ComputeVariants(path, std::move(picture), limits);
}

// Decodes the file (in the background) and keeps it in the cache.  Returns
// why that failed (unreadable, damaged, too large, no memory), or nothing.
std::string TfrmMain::LoadIntoCache(const std::string& path,
                                    std::shared_ptr<const Image>& picture) {
  try {
    const TFileStamp stamp = FileStampOf(path);  // before reading: a change meanwhile counts
    RunInBackground([&] { picture = std::make_shared<const Image>(LoadPicture(path)); });
    services_.Cache.Add(path, picture, stamp);
  } catch (const std::exception& error) {
    picture.reset();
    return FailureMessage(path, ReasonOf(error));
  }
  return {};
}

void TfrmMain::ShowOpened(const std::string& path, const Image& picture) {
  services_.Files.CurrentFile = path;
  UpdateCaption();
  ShowImageSize(picture);
}

void TfrmMain::DropFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  const std::string first = paths.constFirst().toStdString();
  if (IsOpenablePicture(first))
    OpenImage(first, false);
  else
    Fail(RefusalOf(first));
}

void TfrmMain::PasteImage() {
  std::string failure;
  {
    TBlockingWork work(*this);
    SetCommandsEnabled(false, true);
    std::shared_ptr<const Image> picture;
    failure = PasteIntoView(picture);
    if (failure.empty()) {
      HideWelcome();
      view_->repaint();
      ComputeVariants(std::string(), std::move(picture), ViewLimits(false));
    }
  }
  if (!failure.empty()) {
    Fail(failure);
    SetCommandsEnabled(true, services_.Files.CurrentFile.empty());
    return;
  }
  SetCommandsEnabled(true, true);
  services_.Files.CurrentFile = sPastedImageName;
  UpdateCaption();
  ShowImageSize(view_->Picture());
}

// Puts the clipboard's picture into the view.  Returns why that failed, or
// nothing.  A pasted picture has the same size limit as an opened file.
std::string TfrmMain::PasteIntoView(std::shared_ptr<const Image>& picture) {
  try {
    const QImage offered = QGuiApplication::clipboard()->image();
    if (offered.isNull()) return FailureMessage(sPastedImageName, "the clipboard holds no picture");
    RequirePictureSize(offered.width(), offered.height(), sPastedImageName);
    RunInBackground([&] { picture = std::make_shared<const Image>(ImageFromQImage(offered)); });
    if (!ImageHasPixels(*picture))
      return FailureMessage(sPastedImageName, "the clipboard holds no picture");
    view_->SetPicture(picture);
  } catch (const std::exception& error) {
    return FailureMessage(sPastedImageName, ReasonOf(error));
  }
  return {};
}

// Page keys pressed while a step's picture is made are not dropped: each
// cancels the work it makes stale and steps on from there.
void TfrmMain::StepFile(bool forward) {
  queuedSteps_ = forward ? 1 : -1;
  bool onShow = true;  // the current file is the picture on show
  while (queuedSteps_ != 0) {
    const bool ahead = queuedSteps_ > 0;
    queuedSteps_ += ahead ? -1 : 1;
    if (!services_.Files.Step(ahead)) {
      // A step cancelled before its picture showed ends on it after all.
      if (!onShow) OpenImage(services_.Files.CurrentFile, false);
      Fail(StepFailureMessage(services_.Files.CurrentFile, ahead));
      break;
    }
    TStepWork stepping(*this);
    onShow = OpenImage(services_.Files.CurrentFile, false);
  }
  queuedSteps_ = 0;
}

// ---------------------------------------------------------------------------
// Processing types

QSize TfrmMain::ViewLimits(bool useStoredViewSize) const {
  if (!useStoredViewSize) return view_->DeviceSize();
  const TStateRecord& record = services_.State.Record;
  // The stored size is in the window's units, like the window's own size.
  return DevicePixelSize(QSize(record.ViewWidth(), record.ViewHeight()),
                         view_->devicePixelRatioF());
}

// The engine keeps the arriving picture (shared, not copied) for saving;
// the view shows Normal from now on.  path is empty for a pasted picture.
// False when a newer step cancelled the computing: nothing changes then.
bool TfrmMain::ComputeVariants(const std::string& path, std::shared_ptr<const Image> picture,
                               QSize limits) {
  const Image* normal = nullptr;
  {
    TBlockingWork work(*this);
    TVariantSet set = readAhead_.TakePrepared(path, picture, limits.height(), limits.width());
    if (set.Full == nullptr) {
      RunInBackground([&] {
        set =
            ComputeVariantSet(std::move(picture), limits.height(), limits.width(), &workCancelled_);
      });
    }
    if (WorkCancelled()) return false;
    normal = readAhead_.Adopt(engine_, path, std::move(set));
  }
  ShowFitted(normal);
  ShowPressedType();
  pnManualTuning_->ApplyTypePreset(ptNormal);
  Succeeded();
  // Made for the view as it is now (or, at start-up, as it was stored): a
  // size change still waiting to settle has nothing left to do.
  viewSettled_->stop();
  ScheduleReadAhead();
  return true;
}

// The neighbours of the current file, for the view as it is now; none
// after a paste.  Read-ahead waits while the window works.
void TfrmMain::PlanReadAhead() {
  if (Busy()) {
    ScheduleReadAhead();
    return;
  }
  const QSize limits = ViewLimits(false);
  readAhead_.Plan(services_.Files.Neighbours(), limits.height(), limits.width());
}

// The view settled at a new size: the picture on show is made again for
// it when its base image would change, keeping what the user chose.
void TfrmMain::FollowViewSize() {
  const QSize limits = ViewLimits(false);
  if (engine_.BaseFitsView(limits.height(), limits.width())) return;
  const Image* shown = nullptr;
  {
    TBlockingWork work(*this);
    RunInBackground([&] { shown = engine_.FitToView(limits.height(), limits.width()); });
  }
  ShowInView(shown);
  // After a paste the status bar shows the base image's size.
  if (services_.Files.CurrentFile == sPastedImageName) ShowImageSize(*engine_.BaseImage());
  ScheduleReadAhead();  // what was prepared fits the old size
}

void TfrmMain::SelectType(TProcessType type) {
  const Image* shown = nullptr;
  {
    TBlockingWork work(*this);
    shown = engine_.Select(type);
  }
  ShowInView(shown);
  ShowPressedType();
  Succeeded();
}

void TfrmMain::ComputeManual() {
  if (engine_.Updating()) return;
  const Image* shown = nullptr;
  {
    TBlockingWork work(*this);
    shown = engine_.ComputeManual();
  }
  ShowInView(shown);
  Succeeded();
}

// At actual size the view shows what the engine shows, at full size.
void TfrmMain::ShowInView(const Image* image) {
  if (view_->ActualSize())
    ShowActualSize();
  else if (image != nullptr)
    view_->SetPicture(*image);
}

// The pressed type's button, and the manual panel beside Manual Tuning.
void TfrmMain::ShowPressedType() {
  if (engine_.AnyTypePressed())
    typeButtons_.at(engine_.CurrentProcessType())->defaultAction()->setChecked(true);
  pnManualTuning_->setVisible(engine_.CurrentProcessType() == ptManualTuning);
  tbMain_->setFocus();
}

// At actual size a press may begin a drag: a type changes at the release
// of a click instead.  Holding the unprocessed picture in Manual Tuning
// begins at the press as ever.
void TfrmMain::ViewMouseDown() {
  if (view_->ActualSize() && engine_.MouseDownAction(true).Kind == TMouseDownAction::kSelectType)
    return;
  PressOnView();
}

void TfrmMain::PressOnView() {
  const bool havePicture = ImageHasPixels(view_->Picture());
  ShowInView(engine_.MouseDown(havePicture));
  ShowPressedType();
  if (havePicture) Succeeded();
}

void TfrmMain::ViewMouseUp() {
  if (view_->ActualSize() && engine_.MouseDownAction(true).Kind == TMouseDownAction::kSelectType &&
      !view_->Dragged())
    PressOnView();
  ShowInView(engine_.MouseUp());
  ShowStatus();
}

// ---------------------------------------------------------------------------
// Saving

void TfrmMain::SaveCommand() {
  if (engine_.BaseImage() == nullptr) {  // nothing processed yet
    Fail("No picture to save yet.");
    return;
  }
  const std::string& current = services_.Files.CurrentFile;
  QString folder;
  QString name = QString::fromStdString(sPastedImageName);
  if (current != sPastedImageName) {
    std::string currentFolder = FileFolder(current);
    if (currentFolder.size() > 1) currentFolder.pop_back();  // without its separator
    folder = QString::fromStdString(currentFolder);
    name = QString::fromStdString(CopyFileName(FileNameOf(current), "copy"));
  }
  const QString chosen = platform_.AskSaveFile(this, folder, name);
  if (chosen.isEmpty()) return;
  const std::string target = ForceJpgExt(chosen.toStdString());
  // The dialog asked about the name as typed; a changed name is asked about
  // here, so that no file is replaced unasked.
  if (target != chosen.toStdString() && std::filesystem::exists(PathOf(target))) {
    const QString question = QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                 .arg(QString::fromStdString(FileNameOf(target)));
    if (!platform_.AskYesNo(this, QStringLiteral("Save Image"), question)) return;
  }
  SaveImage(target);
}

// The save runs on a thread of its own while the window keeps painting and
// ignores commands; the normal cursor is back before a failure is reported.
void TfrmMain::SaveImage(const std::string& path) {
  std::string failure;
  std::string metadataNotKept;
  {
    TWaitCursor wait(platform_);
    failure = RunSave(path, metadataNotKept);
  }
  if (failure.empty()) {
    // Saved, but with make and model only: the user asked for more.
    if (metadataNotKept.empty())
      Succeeded();
    else
      Fail(FailureMessage(path,
                          "saved without its date, camera settings and GPS: " + metadataNotKept));
  } else {
    failure_ = FailureMessage(path, failure);
    ShowStatus();
    platform_.ShowError(this, QStringLiteral("Save Image"),
                        QStringLiteral("The picture could not be saved as\n%1\n\n%2")
                            .arg(QString::fromStdString(path), QString::fromStdString(failure)));
  }
  if (closeWhenDone_) close();
}

// Work runs on a thread of its own while this thread's event loop keeps
// the window painted and answering the system; input meanwhile is dropped
// (IgnoredWhileBusy).  What work throws is thrown here.
void TfrmMain::RunInBackground(const std::function<void()>& work) {
  const bool outer = working_;
  working_ = true;
  std::exception_ptr failure;
  QEventLoop loop;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  working_ = outer;
  // A close asked for meanwhile comes once the command has ended.
  if (closeWhenDone_ && !Busy())
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  if (failure) std::rethrow_exception(failure);
}

std::string TfrmMain::RunSave(const std::string& path, std::string& metadataNotKept) {
  // A pasted picture has no file to carry EXIF data over from.
  const std::string& current = services_.Files.CurrentFile;
  const TMetadataCarryOver carryOver = services_.State.KeepMetadata()
                                           ? TMetadataCarryOver::Everything
                                           : TMetadataCarryOver::MakeAndModel;
  TSaveJob job(engine_, path, current == sPastedImageName ? std::string() : current, carryOver);
  const std::string failure = RunSaveJob(job, SavingMessage(path));
  metadataNotKept = job.MetadataNotKept();
  return failure;
}

// The save (or the copy) run in the background, with its progress shown;
// the message panel says what is being done meanwhile.
std::string TfrmMain::RunSaveJob(TSaveJob& job, const std::string& doing) {
  saving_ = true;
  messagePanel_->setText(QString::fromStdString(doing));
  ShowSaveProgress(0);
  RunInBackground([&] {
    job.Run([&](int stage) {
      QMetaObject::invokeMethod(
          this, [this, stage] { ShowSaveProgress(stage); }, Qt::QueuedConnection);
    });
  });
  saving_ = false;
  saveProgress_->hide();
  return job.Failure();
}

void TfrmMain::ShowSaveProgress(int stage) {
  saveProgress_->setRange(0, TSaveJob::kStages);
  saveProgress_->setValue(stage);
  saveProgress_->setVisible(saving_);
}

// ---------------------------------------------------------------------------
// Help, about box, links

// Without a program of the desktop for the page, the program shows it in
// its own viewer.
void TfrmMain::OpenHelpFile() {
  const QString page = QString::fromStdString(HelpFilePath(services_.ProgramPath));
  if (!platform_.OpenDocument(page)) platform_.ShowHelpViewer(this, page);
}

void TfrmMain::ShowAbout() { about_->exec(); }

void TfrmMain::OpenLink(int number) {
  OpenWebLink(platform_, number, services_.VersionText ? services_.VersionText() : std::string());
}

}  // namespace tavren
