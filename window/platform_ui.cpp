#include "window/platform_ui.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <string_view>
#include <vector>

#include "picture_io/picture_files.h"
#include "picture_io/picture_formats.h"
#include "window/help_viewer.h"

namespace tavren {

namespace {

// "*.jpg *.jpeg ... *.JPG *.JPEG ...": the patterns of the formats'
// extensions in both letter cases, because the dialog matches names exactly
// where the file system tells case apart.
QString Patterns(const std::vector<const TPictureFormat*>& formats) {
  QStringList lower, upper;
  for (const TPictureFormat* format : formats)
    for (std::string_view ext : format->Extensions) {
      const QString pattern =
          QStringLiteral("*") + QString::fromLatin1(ext.data(), static_cast<qsizetype>(ext.size()));
      lower << pattern;
      upper << pattern.toUpper();
    }
  return (lower + upper).join(QLatin1Char(' '));
}

QString Filter(std::string_view name, const std::vector<const TPictureFormat*>& formats) {
  return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())) + " (" +
         Patterns(formats) + ")";
}

const char* const kSaveFilter = "JPEG  Image (*.jpg *.JPG)";
constexpr int kPreviewSize = 200;

// The dialog folds runs of blanks in a filter's description; the list of
// file types shows it as the program writes it ("JPEG  Image").
void ShowFilterAsWritten(QFileDialog& dialog, const QString& filter) {
  if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
    types->setItemText(0, filter);
}

// The open dialog's filters: first every picture the program opens, then
// one filter for each run of formats that the table shows under one name.
QStringList OpenDialogFilters() {
  std::vector<const TPictureFormat*> every;
  std::vector<std::vector<const TPictureFormat*>> runs;
  for (const TPictureFormat& format : PictureFormats()) {
    every.push_back(&format);
    if (runs.empty() || runs.back().front()->DialogFilter != format.DialogFilter)
      runs.emplace_back();
    runs.back().push_back(&format);
  }
  QStringList filters = {Filter("All Pictures", every)};
  for (const auto& run : runs) filters << Filter(run.front()->DialogFilter, run);
  return filters;
}

// The open dialog with a preview of the file under the selection.
class TOpenDialog : public QFileDialog {
 public:
  explicit TOpenDialog(QWidget* owner) : QFileDialog(owner, QStringLiteral("Open Image")) {
    setObjectName(QStringLiteral("odMain"));
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilters(OpenDialogFilters());
    setDefaultSuffix(QStringLiteral("jpg"));
    AddPreview();
  }

 private:
  void AddPreview() {
    preview_ = new QLabel(this);
    preview_->setFixedSize(kPreviewSize, kPreviewSize);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setFrameShape(QFrame::StyledPanel);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
      grid->addWidget(preview_, 1, grid->columnCount(), 1, 1);
    connect(this, &QFileDialog::currentChanged, this, &TOpenDialog::ShowPreview);
  }

  void ShowPreview(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid())
      reader.setScaledSize(size.scaled(kPreviewSize, kPreviewSize, Qt::KeepAspectRatio));
    QImage picture = reader.read();
    if (picture.isNull()) picture = DecodedPreview(path);
    if (picture.isNull())
      preview_->clear();
    else
      preview_->setPixmap(QPixmap::fromImage(picture));
  }

  // Pictures Qt cannot read (HEIF, and TIFF or WebP without Qt's extra
  // plugins) are decoded as the program opens them.
  static QImage DecodedPreview(const QString& path) {
    const std::string name = path.toStdString();
    if (!IsOpenablePicture(name)) return {};
    try {
      const Image picture = LoadPicture(name);
      const QImage frame(picture.Data(), picture.Width(), picture.Height(),
                         static_cast<qsizetype>(picture.Stride()), QImage::Format_BGR888);
      return frame.scaled(kPreviewSize, kPreviewSize, Qt::KeepAspectRatio);  // a copy
    } catch (const std::exception&) {  // unreadable: no preview
      return {};
    }
  }

  QLabel* preview_ = nullptr;
};

}  // namespace

void TPlatform::Beep() { QApplication::beep(); }

void TPlatform::PushWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void TPlatform::PopWaitCursor() { QApplication::restoreOverrideCursor(); }

void TPlatform::ShowWarning(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox::warning(owner, caption, text, QMessageBox::Ok);
}

void TPlatform::ShowError(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox::critical(owner, caption, text, QMessageBox::Ok);
}

bool TPlatform::AskYesNo(QWidget* owner, const QString& caption, const QString& text) {
  return QMessageBox::question(owner, caption, text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

QString TPlatform::AskOpenFile(QWidget* owner) {
  TOpenDialog dialog(owner);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

QString TPlatform::AskSaveFile(QWidget* owner, const QString& folder, const QString& name) {
  QFileDialog dialog(owner, QStringLiteral("Save Image"));
  dialog.setObjectName(QStringLiteral("sdMain"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(QString::fromLatin1(kSaveFilter));
  ShowFilterAsWritten(dialog, QString::fromLatin1(kSaveFilter));
  dialog.setDefaultSuffix(QStringLiteral("jpg"));
  dialog.setSizeGripEnabled(true);
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  dialog.selectFile(name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

void TPlatform::OpenUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

bool TPlatform::OpenDocument(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TPlatform::ShowHelpViewer(QWidget* owner, const QString& path) {
  auto* viewer = owner != nullptr ? owner->findChild<THelpViewer*>() : nullptr;
  if (viewer == nullptr) viewer = new THelpViewer(path, owner);
  viewer->show();
  viewer->raise();
  viewer->activateWindow();
}

}  // namespace tavren
