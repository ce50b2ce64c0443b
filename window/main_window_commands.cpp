// The main window's commands: bringing a picture in (open, drop, paste,
// previous and next file), computing and switching its processing types,
// saving, help and the about box.
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <new>

#include "window/about_box.h"
#include "workflow/files.h"
#include "workflow/fixed_texts.h"
#include "workflow/help_file.h"
#include "window/image_view.h"
#include "window/link_label.h"
#include "window/main_window.h"
#include "window/manual_panel.h"
#include "window/platform_ui.h"
#include "picture_io/save_names.h"
#include "workflow/state.h"
#include "picture_io/error.h"
#include "picture_io/jpeg_export.h"
#include "picture_io/picture_cache.h"
#include "picture_io/picture_files.h"
#include "picture_io/picture_kind.h"
#include "picture_io/file_names.h"

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
// message box, as the general error handler of the program.
void TfrmMain::Guarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::bad_alloc&) {
    platform_.ShowError(this, QString::fromStdString(sProgramName),
                        QStringLiteral("Not enough memory for this picture."));
  } catch (const std::exception& error) {
    platform_.ShowError(this, QString::fromStdString(sProgramName),
                        QString::fromStdString(error.what()));
  }
}

// ---------------------------------------------------------------------------
// Intake

void TfrmMain::OpenCommand() {
  const QString chosen = platform_.AskOpenFile(this);
  if (chosen.isEmpty()) return;
  view_->repaint();
  OpenImage(chosen.toStdString(), false);
}

void TfrmMain::OpenImage(const std::string& path, bool useStoredViewSize) {
  Image picture;
  if (services_.cache.Get(path, picture)) {
    view_->SetPicture(std::move(picture));
    services_.files.CurrentFile = path;
    UpdateCaption();
    ShowImageSize(view_->Picture());
  } else {
    if (!IsOpenablePicture(path)) {
      platform_.Beep();
      return;
    }
    bool loaded = false;
    {
      TWaitCursor wait(platform_);
      SetCommandsEnabled(false, true);
      try {
        picture = LoadPicture(path);
        loaded = true;
      } catch (const std::exception&) {  // unreadable, corrupt, too large
      }
    }
    SetCommandsEnabled(true, false);
    if (!loaded) {
      platform_.Beep();
      return;
    }
    services_.files.CurrentFile = path;
    services_.cache.Add(path, picture);
    view_->SetPicture(std::move(picture));
    UpdateCaption();
    ShowImageSize(view_->Picture());
    HideWelcome();
  }
  repaint();
  ComputeVariants(useStoredViewSize);
}

void TfrmMain::DropFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  const std::string first = paths.constFirst().toStdString();
  if (IsOpenablePicture(first))
    OpenImage(first, false);
  else
    platform_.Beep();
}

void TfrmMain::PasteImage() {
  bool pasted = false;
  {
    TWaitCursor wait(platform_);
    SetCommandsEnabled(false, true);
    Image picture = ImageFromQImage(QGuiApplication::clipboard()->image());
    if (ImageHasPixels(picture)) {
      pasted = true;
      HideWelcome();
      view_->SetPicture(std::move(picture));
      view_->repaint();
      ComputeVariants(false);
    }
  }
  if (!pasted) {
    platform_.Beep();
    SetCommandsEnabled(true, services_.files.CurrentFile.empty());
    return;
  }
  SetCommandsEnabled(true, true);
  services_.files.CurrentFile = sPastedImageName;
  UpdateCaption();
  ShowImageSize(view_->Picture());
}

void TfrmMain::StepFile(bool forward) {
  if (services_.files.Step(forward))
    OpenImage(services_.files.CurrentFile, false);
  else
    platform_.Beep();
}

// ---------------------------------------------------------------------------
// Processing types

void TfrmMain::ComputeVariants(bool useStoredViewSize) {
  std::int32_t limitHeight = view_->height();
  std::int32_t limitWidth = view_->width();
  if (useStoredViewSize) {
    limitHeight = services_.state.Record.ViewHeight();
    limitWidth = services_.state.Record.ViewWidth();
  }
  const Image* normal = nullptr;
  {
    TWaitCursor wait(platform_);
    // The engine keeps the arriving picture for saving; the view shows
    // Normal from now on, so it hands the picture over instead of copying.
    normal = engine_.ComputeVariants(view_->TakePicture(), limitHeight, limitWidth);
  }
  ShowInView(normal);
  ShowPressedType();
  pnManualTuning_->ApplyTypePreset(ptNormal);
}

void TfrmMain::SelectType(TProcessType type) {
  const Image* shown = nullptr;
  {
    TWaitCursor wait(platform_);
    shown = engine_.Select(type);
  }
  ShowInView(shown);
  ShowPressedType();
}

void TfrmMain::ComputeManual() {
  if (engine_.Updating()) return;
  const Image* shown = nullptr;
  {
    TWaitCursor wait(platform_);
    shown = engine_.ComputeManual();
  }
  ShowInView(shown);
}

void TfrmMain::ShowInView(const Image* image) {
  if (image != nullptr) view_->SetPicture(*image);
}

// The pressed type's button, and the manual panel beside Manual Tuning.
void TfrmMain::ShowPressedType() {
  if (engine_.AnyTypePressed()) typeButtons_.at(engine_.CurrentProcessType())->setChecked(true);
  pnManualTuning_->setVisible(engine_.CurrentProcessType() == ptManualTuning);
  tbMain_->setFocus();
}

void TfrmMain::ViewMouseDown() {
  ShowInView(engine_.MouseDown(ImageHasPixels(view_->Picture())));
  ShowPressedType();
}

void TfrmMain::ViewMouseUp() { ShowInView(engine_.MouseUp()); }

// ---------------------------------------------------------------------------
// Saving

void TfrmMain::SaveCommand() {
  if (engine_.BaseImage() == nullptr) {  // nothing processed yet
    platform_.Beep();
    return;
  }
  const std::string& current = services_.files.CurrentFile;
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
  if (target != chosen.toStdString() && std::filesystem::exists(target)) {
    const QString question = QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                 .arg(QString::fromStdString(FileNameOf(target)));
    if (!platform_.AskYesNo(this, QStringLiteral("Save Image"), question)) return;
  }
  SaveImage(target);
}

void TfrmMain::SaveImage(const std::string& path) {
  TWaitCursor wait(platform_);
  try {
    const std::unique_ptr<Image> saved = engine_.ResultForSave();
    if (!ImageHasPixels(saved.get())) {
      platform_.Beep();
      return;
    }
    // A pasted picture has no file to carry EXIF data over from.
    const std::string& current = services_.files.CurrentFile;
    SaveJpegWithExif(*saved, path, current == sPastedImageName ? std::string() : current);
  } catch (const TavrenError& error) {
    platform_.ShowError(this, QStringLiteral("Save Image"),
                        QStringLiteral("The picture could not be saved as\n%1\n\n%2")
                            .arg(QString::fromStdString(path),
                                 QString::fromStdString(error.reason())));
  }
}

// ---------------------------------------------------------------------------
// Help, about box, links

void TfrmMain::OpenHelpFile() {
  platform_.OpenDocument(QString::fromStdString(HelpFilePath(services_.programPath)));
}

void TfrmMain::ShowAbout() { about_->exec(); }

void TfrmMain::OpenLink(int number) {
  OpenWebLink(platform_, number, services_.versionText ? services_.versionText() : std::string());
}

}  // namespace tavren
