// The about box: product logo, version, rights notice and three web links.
// Created once with the main window and shown modally from the help menu;
// every showing reads the version afresh.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QFrame;
class QLabel;
class QPushButton;

namespace tavren {

class TClickablePicture;
class TLinkLabel;
class TPlatform;

class TAB : public QDialog {
  Q_OBJECT

 public:
  // versionText gives the program's version ("0.1.0"), or an empty text
  // when it has none; it is called at each showing and at each feedback
  // click.  The platform opens the web links; both must outlive the box.
  TAB(TPlatform& platform, std::function<std::string()> versionText, QWidget* parent = nullptr);

  // The text shown behind the version label.
  static QString VersionLine(const std::string& versionText);

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CreateControls();
  void ConnectLinks();
  void OpenLink(int number);
  std::string CurrentVersion() const;
  void CentreOnScreen();

  TPlatform& platform_;
  std::function<std::string()> versionText_;

  QFrame* pnA = nullptr;
  TClickablePicture* imWelProdLogo = nullptr;
  QLabel* lblA1 = nullptr;
  QLabel* lblVV = nullptr;
  TLinkLabel* lblA2 = nullptr;
  TLinkLabel* lblA3 = nullptr;
  QLabel* lblA4 = nullptr;
  TLinkLabel* lblA5 = nullptr;
  QPushButton* btnA6 = nullptr;
};

}  // namespace tavren
