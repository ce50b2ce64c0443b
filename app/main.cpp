// brisolm-tavren: the window.  Decodes the fixed texts, makes the shared
// objects, shows the main window and runs the event loop.
#include <QApplication>
#include <QIcon>
#include <memory>

#include "app/files.h"
#include "app/fixed_texts.h"
#include "app/main_window.h"
#include "app/platform_ui.h"
#include "app/state.h"
#include "imaging/file_info.h"
#include "imaging/picture_cache.h"

int main(int argc, char** argv) {
  using namespace tavren;
  DecodeFixedTexts();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromStdString(sProgramName));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/resources/app_icon.svg")));

  const std::string programPath = QCoreApplication::applicationFilePath().toStdString();
  TFiles files;
  TCache cache;
  TState state(MakePlatformStateStore());
  std::unique_ptr<TFileInfo> fileInfo;
  try {
    fileInfo = std::make_unique<TFileInfo>(programPath);
  } catch (const std::exception&) {
    // Without its own file the program simply shows no version.
  }
  auto versionText = [&fileInfo] { return fileInfo ? fileInfo->GetVersionText() : std::string(); };

  TPlatform platform;
  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  TfrmMain window({files, cache, state, versionText, programPath}, platform, arguments);
  window.show();
  return QApplication::exec();
}
