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
  int Beeps = 0;
  int WaitDepth = 0;
  int WaitCursors = 0;
  QStringList Warnings;  // caption, then text
  QStringList Errors;
  int WaitDepthAtError = 0;  // wait cursors on show when the last error box came
  QString OpenAnswer;
  int OpenAsked = 0;
  QString SaveAnswer;
  QString SaveFolder, SaveName;
  bool YesNoAnswer = true;
  int YesNoAsked = 0;
  QStringList Documents;
  bool DocumentOpens = true;  // false: the desktop has no program for documents
  QStringList HelpViewers;
  QList<QUrl> Urls;

  void Beep() override { ++Beeps; }
  void PushWaitCursor() override {
    ++WaitDepth;
    ++WaitCursors;
  }
  void PopWaitCursor() override { --WaitDepth; }
  void ShowWarning(QWidget*, const QString& caption, const QString& text) override {
    Warnings << caption << text;
  }
  void ShowError(QWidget*, const QString& caption, const QString& text) override {
    Errors << caption << text;
    WaitDepthAtError = WaitDepth;
  }
  bool AskYesNo(QWidget*, const QString&, const QString&) override {
    ++YesNoAsked;
    return YesNoAnswer;
  }
  QString AskOpenFile(QWidget*) override {
    ++OpenAsked;
    return OpenAnswer;
  }
  QString AskSaveFile(QWidget*, const QString& folder, const QString& name) override {
    SaveFolder = folder;
    SaveName = name;
    return SaveAnswer;
  }
  void OpenUrl(const QUrl& url) override { Urls << url; }
  bool OpenDocument(const QString& path) override {
    Documents << path;
    return DocumentOpens;
  }
  void ShowHelpViewer(QWidget*, const QString& path) override { HelpViewers << path; }
};

}  // namespace tavren::test
