// The few services of the desktop that the window uses for feedback: the
// beep, the wait cursor, message boxes, file dialogs, the web browser and
// the help viewer.
// Each sits behind one virtual call so that the window tests can watch them
// (and answer the dialogs) without a person at the screen.
#pragma once

#include <QString>
#include <QUrl>

class QWidget;

namespace tavren {

class TPlatform {
 public:
  virtual ~TPlatform() = default;

  virtual void Beep();
  // The wait cursor nests: every Push is matched by one Pop.
  virtual void PushWaitCursor();
  virtual void PopWaitCursor();

  virtual void ShowWarning(QWidget* owner, const QString& caption, const QString& text);
  virtual void ShowError(QWidget* owner, const QString& caption, const QString& text);
  virtual bool AskYesNo(QWidget* owner, const QString& caption, const QString& text);

  // The picked file, or an empty text when the dialog was cancelled.
  virtual QString AskOpenFile(QWidget* owner);
  virtual QString AskSaveFile(QWidget* owner, const QString& folder, const QString& name);

  virtual void OpenUrl(const QUrl& url);
  // Opens a local document with the desktop's viewer; false when the
  // desktop has no program for it.
  virtual bool OpenDocument(const QString& path);
  // Shows the help page in the program's own viewer window (one per owner).
  virtual void ShowHelpViewer(QWidget* owner, const QString& path);
};

// Shows the wait cursor for the lifetime of the object; the previous cursor
// comes back also when the guarded work throws.
class TWaitCursor {
 public:
  explicit TWaitCursor(TPlatform& platform) : platform_(platform) { platform_.PushWaitCursor(); }
  ~TWaitCursor() { platform_.PopWaitCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

 private:
  TPlatform& platform_;
};

}  // namespace tavren
