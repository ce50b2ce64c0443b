// A platform layer for window tests: it records every beep, wait cursor,
// message box, dialog and opened document or web address, and answers the
// dialogs as the test sets it to, so no person is needed at the screen.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "window/platform_ui.h"

namespace tavren::test {

class TRecordingPlatform : public TPlatform {
 public:
  int beeps = 0;
  int waitDepth = 0;
  int waitCursors = 0;
  QStringList warnings;  // caption, then text
  QStringList errors;
  int waitDepthAtError = 0;  // wait cursors on show when the last error box came
  QString openAnswer;
  int openAsked = 0;
  QString saveAnswer;
  QString saveFolder, saveName;
  bool yesNoAnswer = true;
  int yesNoAsked = 0;
  QStringList documents;
  bool documentOpens = true;  // false: the desktop has no program for documents
  QStringList helpViewers;
  QList<QUrl> urls;

  void Beep() override { ++beeps; }
  void PushWaitCursor() override {
    ++waitDepth;
    ++waitCursors;
  }
  void PopWaitCursor() override { --waitDepth; }
  void ShowWarning(QWidget*, const QString& caption, const QString& text) override {
    warnings << caption << text;
  }
  void ShowError(QWidget*, const QString& caption, const QString& text) override {
    errors << caption << text;
    waitDepthAtError = waitDepth;
  }
  bool AskYesNo(QWidget*, const QString&, const QString&) override {
    ++yesNoAsked;
    return yesNoAnswer;
  }
  QString AskOpenFile(QWidget*) override {
    ++openAsked;
    return openAnswer;
  }
  QString AskSaveFile(QWidget*, const QString& folder, const QString& name) override {
    saveFolder = folder;
    saveName = name;
    return saveAnswer;
  }
  void OpenUrl(const QUrl& url) override { urls << url; }
  bool OpenDocument(const QString& path) override {
    documents << path;
    return documentOpens;
  }
  void ShowHelpViewer(QWidget*, const QString& path) override { helpViewers << path; }
};

}  // namespace tavren::test
