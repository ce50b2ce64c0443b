// The program's own window for its help page, for desktops where no web
// browser opens it.  The page's links to its own sections work inside.
#pragma once

#include <QWidget>

class QTextBrowser;

namespace tavren {

class THelpViewer : public QWidget {
  Q_OBJECT

 public:
  // Shows the HTML page at path; a missing page is said so in the window.
  explicit THelpViewer(const QString& path, QWidget* parent = nullptr);

  QTextBrowser* Browser() const { return browser_; }

 private:
  QTextBrowser* browser_ = nullptr;
};

}  // namespace tavren
