// The welcome panel: shown on the image area until the first picture
// arrives.  Its top band carries the logos and the version, its middle band
// the quick-start buttons and the links.  It only signals what was clicked;
// the main window runs the commands.
#pragma once

#include <QFrame>
#include <string>

class QLabel;
class QLayout;

namespace tavren {

class TWelcomePanel : public QFrame {
  Q_OBJECT

 public:
  // versionText: "x.y.z", or empty.
  TWelcomePanel(const std::string& versionText, QWidget* parent = nullptr);

 signals:
  void openClicked();
  void pasteClicked();
  // A web link by number (see link_label.h).
  void linkClicked(int number);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* CreateTop(const std::string& versionText);
  QWidget* CreateMiddle();
  QLayout* CreateQuickStartColumn(QWidget* middle);
  QLayout* CreateAboutColumn(QWidget* middle);
  // A link label that signals linkClicked(number).
  QWidget* MakeLink(const char* text, const char* name, int number, QWidget* parent);

  QLabel* lblWelVersion_ = nullptr;
};

}  // namespace tavren
