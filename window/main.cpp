// brisolm-tavren: the window.  Decodes the fixed texts, makes the shared
// objects, shows the main window and runs the event loop.
#include <QApplication>
#include <QIcon>
#include <QSessionManager>
#include <memory>

#include "picture_io/file_info.h"
#include "system/file_replace.h"
#include "window/main_window.h"
#include "window/platform_ui.h"
#include "window/window_resources.h"
#include "workflow/files.h"
#include "workflow/fixed_texts.h"
#include "workflow/picture_cache.h"
#include "workflow/state.h"
#include "workflow/termination.h"

int main(int argc, char** argv) {
  using namespace tavren;
  // A request to end the program (the session logging out, `kill`) closes
  // the window as the user would, so the window state is kept.
  TTerminationWatch termination;
  DecodeFixedTexts();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromStdString(sProgramName));
  QApplication::setWindowIcon(QIcon(ResourcePicture(QStringLiteral("app_icon"))));

  const std::string programPath = QCoreApplication::applicationFilePath().toStdString();
  TFiles files;
  TCache cache;
  TState state(MakePlatformStateStore(), MakePlatformKeepMetadataStore());
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
  window.SetTermination(&termination);
  termination.Arm([&window] {
    QMetaObject::invokeMethod(
        &window, [&window] { window.close(); }, Qt::QueuedConnection);
  });
  // Windows ends a session by messages to the window, not by a request the
  // watch sees, and ends the process right after: the window state is kept
  // when the session asks to end, and a save in progress leaves no
  // temporary file behind when it does end.
  QObject::connect(&application, &QGuiApplication::commitDataRequest, &window,
                   [&window](QSessionManager&) { window.KeepWindowState(); });
  QObject::connect(&application, &QCoreApplication::aboutToQuit,
                   [] { RemoveTemporaryFilesInProgress(); });
  window.show();
  const int status = QApplication::exec();
  termination.Disarm();
  return status;
}
