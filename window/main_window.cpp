// The main window's construction and its window-wide behaviour: the first
// show, closing, the key table, the clipboard poll, the image area's layout.
#include "window/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <optional>

#include "picture_io/picture_formats.h"
#include "system/file_names.h"
#include "window/about_box.h"
#include "window/image_view.h"
#include "window/link_label.h"
#include "window/manual_panel.h"
#include "window/platform_ui.h"
#include "window/welcome_panel.h"
#include "window/window_resources.h"
#include "workflow/files.h"
#include "workflow/fixed_texts.h"
#include "workflow/state.h"
#include "workflow/termination.h"

namespace tavren {

namespace {

constexpr int kDesignWidth = 1118;
constexpr int kDesignHeight = 674;
constexpr int kClipboardPollMs = 100;
// How long the view's size must stay unchanged before the picture is made
// again for it: long enough to let a window being dragged settle.
constexpr int kViewSettleMs = 200;
// Read-ahead starts once the window has had nothing to do for this long,
// so that a key held down (which repeats faster) never waits for it.
constexpr int kReadAheadIdleMs = 50;
constexpr std::uint8_t kStateNormal = 0;

bool CtrlAlone(Qt::KeyboardModifiers modifiers) {
  return (modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)) ==
         Qt::ControlModifier;
}

bool HasKey(const std::vector<TCommandKey>& keys, const QKeyEvent& pressed) {
  const auto held = [&](TKeyModifiers modifiers) {
    switch (modifiers) {
      case TKeyModifiers::Any:
        return true;
      case TKeyModifiers::CtrlAlone:
        return CtrlAlone(pressed.modifiers());
      case TKeyModifiers::Plain:
        return (pressed.modifiers() &
                (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)) == 0;
    }
    return false;
  };
  return std::ranges::any_of(keys, [&](const TCommandKey& key) {
    return pressed.key() == key.Key && held(key.Modifiers);
  });
}

// What SetCommandsEnabled makes of a button's rule: nothing for the buttons
// it leaves alone.
std::optional<bool> EnabledWithPicture(TEnabling rule, bool haveImage, bool noNavigation) {
  switch (rule) {
    case TEnabling::PictureOnShow:
      return haveImage;
    case TEnabling::PictureFileOnShow:
      return haveImage && !noNavigation;
    case TEnabling::Always:
    case TEnabling::ClipboardPicture:
      break;
  }
  return std::nullopt;
}

}  // namespace

TfrmMain::TfrmMain(TMainServices services, TPlatform& platform, QStringList arguments,
                   QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      platform_(platform),
      arguments_(std::move(arguments)),
      readAhead_(services_.Cache, [this] {
        // From a background thread: the cache belongs to this one.
        QMetaObject::invokeMethod(
            this, [this] { readAhead_.Collect(); }, Qt::QueuedConnection);
      }) {
  InitWindowResources();
  setObjectName(QStringLiteral("frmMain"));
  resize(kDesignWidth, kDesignHeight);
  setAcceptDrops(true);
  CreateToolBar();
  CreateManualPanel();
  CreateImageArea();
  CreateStatusBar();
  ConnectCommands();
  about_ = new TAB(platform_, services_.VersionText, this);
  CreateViewTimers();
  qApp->installEventFilter(this);
  tmrMain_ = new QTimer(this);
  tmrMain_->setObjectName(QStringLiteral("tmrMain"));
  connect(tmrMain_, &QTimer::timeout, this, &TfrmMain::PollClipboard);
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
          &TfrmMain::NoteClipboardChange);
  NoteClipboardChange();
  tmrMain_->start(kClipboardPollMs);
}

TfrmMain::~TfrmMain() { qApp->removeEventFilter(this); }

void TfrmMain::CreateViewTimers() {
  viewSettled_ = new QTimer(this);
  viewSettled_->setSingleShot(true);
  viewSettled_->setInterval(kViewSettleMs);
  connect(viewSettled_, &QTimer::timeout, this, [this] {
    // A save or other work uses the engine's pictures on another thread
    // until it ends.
    if (Busy())
      viewSettled_->start();
    else
      Guarded([this] { FollowViewSize(); });
  });
  readAheadTimer_ = new QTimer(this);
  readAheadTimer_->setSingleShot(true);
  readAheadTimer_->setInterval(kReadAheadIdleMs);
  connect(readAheadTimer_, &QTimer::timeout, this, &TfrmMain::PlanReadAhead);
}

// Read-ahead waits until the window has been idle for a moment.
void TfrmMain::ScheduleReadAhead() {
  if (readAheadEnabled_) readAheadTimer_->start();
}

void TfrmMain::SetReadAheadEnabled(bool enabled) {
  readAheadEnabled_ = enabled;
  readAheadTimer_->stop();
  if (!enabled) readAhead_.Clear();
}

// ---------------------------------------------------------------------------
// First show and closing

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (firstShowDone_) return;
  firstShowDone_ = true;
  FirstShow();
}

void TfrmMain::FirstShow() {
  ApplyStoredState();
  UpdateCaption();
  SetCommandsEnabled(false, true);
  pnManualTuning_->ResetCloseGlyph();
  engine_.SetUpdating(false);
  // The picture of the command line opens once the window stands on the
  // screen, so that a warning box has its owner visible behind it.
  QMetaObject::invokeMethod(this, &TfrmMain::OpenCommandLinePicture, Qt::QueuedConnection);
}

void TfrmMain::ApplyStoredState() {
  const QSize screen = QGuiApplication::primaryScreen()->size();
  TState& state = services_.State;
  state.LoadState({screen.width(), screen.height()}, width());
  miKeepMetadata_->setChecked(state.KeepMetadata());
  if (state.Record.WindowState() == kStateNormal) {
    setWindowState(Qt::WindowNoState);
    resize(state.Record.FormWidth(), state.Record.FormHeight());
  } else {
    setWindowState(Qt::WindowMaximized);
  }
}

void TfrmMain::OpenCommandLinePicture() {
  if (!arguments_.isEmpty()) {
    const std::string path = arguments_.constFirst().toStdString();
    if (IsOpenablePicture(path)) {
      Guarded([&] { OpenImage(path, true); });
    } else {
      platform_.ShowWarning(
          this, QStringLiteral("Open Image - ") + QString::fromStdString(FileNameOf(path)),
          QStringLiteral("Format ") + QString::fromStdString(FileExtUpper(path)) +
              QStringLiteral(" not supported."));
    }
  }
  startupDone_ = true;
  emit startupFinished();
}

TfrmMain::TBlockingWork::TBlockingWork(TfrmMain& window)
    : window_(window), wait_(window.platform_) {
  if (window_.blockingDepth_++ == 0 && window_.termination_ != nullptr)
    window_.termination_->SetBlocking(window_.StateSaverAsNow());
}

TfrmMain::TBlockingWork::~TBlockingWork() {
  if (--window_.blockingDepth_ == 0 && window_.termination_ != nullptr)
    window_.termination_->SetBlocking(nullptr);
}

// What closing now would store, to be written from the termination watch's
// thread while this one is busy.
std::function<void()> TfrmMain::StateSaverAsNow() {
  TState* state = &services_.State;
  const std::uint8_t windowState = StoredWindowState(isMinimized(), isMaximized());
  const int formHeight = height();
  const int formWidth = width();
  const int viewHeight = view_->height();
  const int viewWidth = view_->width();
  return [=] { state->SaveState(windowState, formHeight, formWidth, viewHeight, viewWidth); };
}

void TfrmMain::KeepWindowState() {
  services_.State.SaveState(StoredWindowState(isMinimized(), isMaximized()), height(), width(),
                            view_->height(), view_->width());
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (Busy()) {  // the window closes once the file or the picture is complete
    closeWhenDone_ = true;
    event->ignore();
    return;
  }
  KeepWindowState();
  tmrMain_->stop();
  QMainWindow::closeEvent(event);
}

// ---------------------------------------------------------------------------
// Commands' enabled state and the caption

// The buttons that follow the picture on show; the others keep their state.
void TfrmMain::SetCommandsEnabled(bool haveImage, bool noNavigation) {
  for (const TCommand& command : commands_) {
    if (const std::optional<bool> enabled =
            EnabledWithPicture(command.Enabling, haveImage, noNavigation))
      command.Action->setEnabled(*enabled);
  }
}

void TfrmMain::UpdateCaption() {
  QString caption = QString::fromStdString(sProgramName);
  const std::string& current = services_.Files.CurrentFile;
  if (!current.empty()) {
    const std::string name = current == sPastedImageName ? current : FileNameBase(current);
    caption = QString::fromStdString(name) + QStringLiteral(" - ") + caption;
  }
  setWindowTitle(caption);
}

void TfrmMain::ShowImageSize(const Image& image) {
  sizePanel_->setText(QStringLiteral("%1 x %2").arg(image.Width()).arg(image.Height()));
  statusBar()->repaint();
}

// ---------------------------------------------------------------------------
// Keys, clipboard, dropped files

// Key presses are taken where they enter the window, before the focused
// widget sees them, so the key table works whatever holds the focus.
bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (IgnoredWhileBusy(watched, *event)) return true;
  if (event->type() == QEvent::KeyPress && watched != nullptr && watched == windowHandle()) {
    // At actual size the arrow keys move the picture, and nothing else.
    if (PanByKey(static_cast<const QKeyEvent&>(*event))) return true;
    HandleKey(static_cast<const QKeyEvent&>(*event));
  } else if (watched == pnImage_ && event->type() == QEvent::Resize) {
    LayoutImageArea();
  } else if (watched == tbMain_ && event->type() == QEvent::Enter) {
    pnManualTuning_->PointerLeftClose();
  }
  return QMainWindow::eventFilter(watched, event);
}

// While a save or other work runs, what the user types or clicks is
// dropped, not kept for later: no command may start in the middle of it or
// right after it.  Only a page key pressed while a step's picture is made
// counts: it cancels that work and steps on.
bool TfrmMain::IgnoredWhileBusy(QObject* watched, const QEvent& event) {
  if (!Busy()) return false;
  switch (event.type()) {
    case QEvent::KeyPress:
      if (stepping_ && watched != nullptr && watched == windowHandle()) QueueStep(event);
      return true;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

void TfrmMain::QueueStep(const QEvent& event) {
  const int key = static_cast<const QKeyEvent&>(event).key();
  if (key != Qt::Key_PageDown && key != Qt::Key_PageUp) return;
  queuedSteps_ += key == Qt::Key_PageDown ? 1 : -1;
  workCancelled_ = true;
}

// The window-wide key table: a key runs its command whatever the state of
// the command's button.  The key is not consumed.
bool TfrmMain::HandleKey(const QKeyEvent& key) {
  for (const TCommand& command : commands_) {
    if (!HasKey(command.Keys, key)) continue;
    (command.RunByKey ? command.RunByKey : command.Run)();
    return true;
  }
  return false;
}

// Only the tool button follows the clipboard; the welcome panel's button
// and Ctrl+V stay available.
void TfrmMain::PollClipboard() {
  for (const TCommand& command : commands_)
    if (command.Enabling == TEnabling::ClipboardPicture)
      command.Action->setEnabled(clipboardHasImage_);
}

// Asking another program for the clipboard's formats can take a while on
// some desktops, so it is asked once per change, not on every poll.
void TfrmMain::NoteClipboardChange() {
  const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
  clipboardHasImage_ = offered != nullptr && offered->hasImage();
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) paths << url.toLocalFile();
  event->acceptProposedAction();
  Guarded([&] { DropFiles(paths); });
}

// ---------------------------------------------------------------------------
// The image area: the view fills it, the welcome panel sits centred on it.

void TfrmMain::LayoutImageArea() {
  view_->setGeometry(pnImage_->rect());
  pnWelcome_->move(CentredPanelOrigin(pnImage_->size(), pnWelcome_->size()));
  // The picture follows the window once its size stops changing; the
  // manual panel showing or hiding beside the image area is no reason to
  // make the types again (the view scales what it has).
  const QSize windowArea = centralWidget()->size();
  if (windowArea == followedArea_) return;
  followedArea_ = windowArea;
  viewSettled_->start();
}

void TfrmMain::HideWelcome() {
  if (welcomeHidden_) return;
  welcomeHidden_ = true;
  pnWelcome_->hide();
}

}  // namespace tavren
