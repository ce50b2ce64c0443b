// The main window: the tool bar, the image area with the view and the
// welcome panel, the manual tuning panel and the status bar.  It turns
// events into calls on the processing engine, the folder navigator and the
// cache, and copies the images they hand back into the view.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "window/platform_ui.h"
#include "workflow/process_engine.h"
#include "workflow/read_ahead.h"

class QAbstractButton;
class QAction;
class QActionGroup;
class QLabel;
class QProgressBar;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;
class QWidget;

namespace tavren {

class TAB;
class TCache;
class TFiles;
class TImageView;
class TManualTuningPanel;
class TPlatform;
class TSaveJob;
class TState;
class TTerminationWatch;
class TWelcomePanel;

// The shared objects the window works with; they outlive it.
struct TMainServices {
  TFiles& Files;
  TCache& Cache;
  TState& State;
  std::function<std::string()> VersionText;  // "x.y.z", or empty
  std::string ProgramPath;                   // the running program's file
};

// When a command's tool button is enabled.
enum class TEnabling {
  Always,             // open and help
  ClipboardPicture,   // paste: while the clipboard offers a picture, as the poll finds
  PictureOnShow,      // save, copy and the types: while a picture is on show
  PictureFileOnShow,  // previous and next: while the picture on show has a folder
};

// The modifiers with which a key of the window's key table runs its command.
enum class TKeyModifiers {
  Any,
  CtrlAlone,  // Ctrl held, neither Shift nor Alt
  Plain,      // none of Ctrl, Shift and Alt held
};

struct TCommandKey {
  Qt::Key Key;
  TKeyModifiers Modifiers;
};

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  // arguments: the command line after the program name; the first one,
  // when present, is a picture to open once the window is first shown.
  TfrmMain(TMainServices services, TPlatform& platform, QStringList arguments,
           QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The commands, as the tool bar, the keys and the welcome panel run them.
  void OpenCommand();
  // False when the picture is not on show: it failed, or a newer step
  // cancelled it.
  bool OpenImage(const std::string& path, bool useStoredViewSize);
  void DropFiles(const QStringList& paths);
  void PasteImage();
  void SaveCommand();
  void SaveImage(const std::string& path);
  // Puts the picture the save would write on the clipboard.
  void CopyCommand();
  void StepFile(bool forward);
  void OpenHelpFile();
  void ShowAbout();

  void SetCommandsEnabled(bool haveImage, bool noNavigation);
  void UpdateCaption();

  // Presses the type's button and shows its result.
  void SelectType(TProcessType type);
  // Between the fitted view and the picture on show at actual size (at
  // its full size, as saving writes it), centred on the point under the
  // mouse when the mouse is over the picture.
  void ToggleActualSize();

  // True once the show steps of the first show, the command-line picture
  // included, have run.
  bool StartupDone() const { return startupDone_; }
  const TProcessEngine& Engine() const { return engine_; }
  TImageView* View() const { return view_; }
  // True while a save runs: the window is painted, commands are ignored.
  bool Saving() const { return saving_; }
  // True while a save or other long work runs on another thread.
  bool Busy() const { return saving_ || working_; }
  const TReadAhead& ReadAhead() const { return readAhead_; }
  // Read-ahead is on unless switched off (benchmarks compare both).
  void SetReadAheadEnabled(bool enabled);

  // The watch that ends the program on a request that arrives while the
  // window's work holds its event loop.
  void SetTermination(TTerminationWatch* watch) { termination_ = watch; }
  // Keeps the window's size and place in the state store, as closing does.
  void KeepWindowState();

 signals:
  void startupFinished();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Long work (decoding, computing the types), run in the background while
  // input is dropped: the wait cursor shows, and a request to end the
  // program ends it at once, saving the window state as it was when the
  // work began.
  // A step's picture is made: page keys pressed meanwhile cancel it.
  class TStepWork {
   public:
    explicit TStepWork(TfrmMain& window) : window_(window) {
      window_.stepping_ = true;
      window_.workCancelled_ = false;
    }
    ~TStepWork() {
      window_.stepping_ = false;
      window_.workCancelled_ = false;
    }
    TStepWork(const TStepWork&) = delete;
    TStepWork& operator=(const TStepWork&) = delete;

   private:
    TfrmMain& window_;
  };

  class TBlockingWork {
   public:
    explicit TBlockingWork(TfrmMain& window);
    ~TBlockingWork();
    TBlockingWork(const TBlockingWork&) = delete;
    TBlockingWork& operator=(const TBlockingWork&) = delete;

   private:
    TfrmMain& window_;
    TWaitCursor wait_;
  };

  void CreateToolBar();
  QToolButton* AddToolButton(const char* name, const char* icon, const QString& hint);
  void AddToolSeparator();
  void CreateHelpMenu();
  void CreateSaveMenu();
  void CreateImageArea();
  void CreateWelcomePanel();
  void CreateManualPanel();
  void CreateStatusBar();
  void CreateCommandTable();
  void ConnectCommands();
  void CreateViewTimers();

  std::function<void()> StateSaverAsNow();
  void FirstShow();
  void ApplyStoredState();
  void OpenCommandLinePicture();

  bool HandleKey(const QKeyEvent& key);
  void PollClipboard();
  void NoteClipboardChange();
  void LayoutImageArea();

  // The base image's size limit: the view's (or the stored view's) size in
  // device pixels.
  QSize ViewLimits(bool useStoredViewSize) const;
  bool ComputeVariants(const std::string& path, std::shared_ptr<const Image> picture, QSize limits);
  void ScheduleReadAhead();
  void PlanReadAhead();
  void FollowViewSize();
  void ComputeManual();
  void ShowInView(const Image* image);
  void ShowPressedType();
  void ViewMouseDown();
  void ViewMouseUp();
  void EnterActualSize(std::optional<QPointF> centre);
  void LeaveActualSize();
  void ShowActualSize();
  std::shared_ptr<const Image> ActualSizePicture();
  void ShowFitted(const Image* image);
  void PressOnView();
  bool PanByKey(const QKeyEvent& key);
  void ShowImageSize(const Image& image);
  void HideWelcome();

  // A command failed: beep, and say what failed and why in the message
  // panel until the next command that succeeds.
  void Fail(const std::string& message);
  void Succeeded();
  void ShowStatus();

  void ShowOpened(const std::string& path, const Image& picture);
  bool ShowAndCompute(const std::string& path, std::shared_ptr<const Image> picture,
                      bool useStoredViewSize);
  std::string LoadIntoCache(const std::string& path, std::shared_ptr<const Image>& picture);
  std::string PasteIntoView(std::shared_ptr<const Image>& picture);
  std::string RunSave(const std::string& path, std::string& metadataNotKept);
  std::string RunSaveJob(TSaveJob& job, const std::string& doing);
  std::string RunCopy();
  void ReportCopyFailure(const std::string& reason);
  void ShowSaveProgress(int stage);
  void RunInBackground(const std::function<void()>& work);
  bool IgnoredWhileBusy(QObject* watched, const QEvent& event);
  void QueueStep(const QEvent& event);
  bool WorkCancelled() const { return workCancelled_; }
  void OpenLink(int number);
  void Guarded(const std::function<void()>& command);

  // A command of the tool bar: the action its button shows, its keys, when
  // its button is enabled, and what it runs.
  struct TCommand {
    QAction* Action;
    std::vector<TCommandKey> Keys;
    TEnabling Enabling;
    std::function<void()> Run;
    std::function<void()> RunByKey = {};  // what its keys run, when not the same
  };

  TMainServices services_;
  TPlatform& platform_;
  QStringList arguments_;
  TProcessEngine engine_;
  TReadAhead readAhead_;
  bool readAheadEnabled_ = true;

  QToolBar* tbMain_ = nullptr;
  QToolButton* tbtOpen_ = nullptr;
  QToolButton* tbtSave_ = nullptr;
  QToolButton* tbtCopyToClipboard_ = nullptr;
  QToolButton* tbtPasteFromClipboard_ = nullptr;
  QToolButton* tbtPrev_ = nullptr;
  QToolButton* tbtNext_ = nullptr;
  QToolButton* tbtActualSize_ = nullptr;
  QToolButton* tbtHelp_ = nullptr;
  std::map<TProcessType, QToolButton*> typeButtons_;
  QActionGroup* typeGroup_ = nullptr;
  std::vector<TCommand> commands_;  // drives the buttons, the keys and the enabling
  QMenu* pmHelp_ = nullptr;
  QMenu* pmSave_ = nullptr;
  QAction* miKeepMetadata_ = nullptr;  // the save keeps the source's metadata
  QWidget* pnImage_ = nullptr;
  TImageView* view_ = nullptr;
  TWelcomePanel* pnWelcome_ = nullptr;
  TManualTuningPanel* pnManualTuning_ = nullptr;
  QLabel* sizePanel_ = nullptr;
  QLabel* messagePanel_ = nullptr;
  QProgressBar* saveProgress_ = nullptr;
  QTimer* tmrMain_ = nullptr;
  QTimer* readAheadTimer_ = nullptr;  // starts read-ahead once the window is idle
  QTimer* viewSettled_ = nullptr;     // the view's size has stopped changing
  QSize followedArea_;                // the window's area the view last followed
  TAB* about_ = nullptr;

  bool firstShowDone_ = false;
  bool startupDone_ = false;
  bool welcomeHidden_ = false;
  bool clipboardHasImage_ = false;
  std::string failure_;  // the message of the last failed command, until one succeeds
  bool saving_ = false;
  bool working_ = false;        // RunInBackground's work is under way
  bool closeWhenDone_ = false;  // asked to close while busy
  bool stepping_ = false;       // the work makes a step's picture
  int queuedSteps_ = 0;         // page keys pressed meanwhile, forward positive
  std::atomic<bool> workCancelled_ = false;
  TTerminationWatch* termination_ = nullptr;
  int blockingDepth_ = 0;
};

// The picture of a QImage as a working image (24 bits, blue-green-red).
Image ImageFromQImage(const QImage& picture);

}  // namespace tavren
