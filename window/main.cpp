// brisolm-tavren: the window.  Decodes the fixed texts, makes the shared
// objects, shows the main window and runs the event loop.
#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

#include "workflow/files.h"
#include "workflow/fixed_texts.h"
#include "window/main_window.h"
#include "window/platform_ui.h"
#include "workflow/state.h"
#include "picture_io/file_info.h"
#include "picture_io/picture_cache.h"

namespace {

int terminationPipe[2] = {-1, -1};

void RequestClose(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(terminationPipe[1], &byte, 1);
}

// A request to end the program (the session logging out, `kill`) closes the
// window as the user would, so the window state is kept.
void CloseOnTermination(QWidget& window) {
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, terminationPipe) != 0) return;
  auto* notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    char byte = 0;
    [[maybe_unused]] const ssize_t got = read(terminationPipe[0], &byte, 1);
    window.close();
  });
  struct sigaction action {};
  action.sa_handler = RequestClose;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

}  // namespace

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
  CloseOnTermination(window);
  window.show();
  return QApplication::exec();
}
