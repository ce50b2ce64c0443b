#include "window/help_viewer.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tavren {

namespace {

constexpr QSize kViewerSize(820, 640);
constexpr int kPageMargin = 16;

}  // namespace

THelpViewer::THelpViewer(const QString& path, QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("frmHelp"));
  setWindowTitle(QStringLiteral("Brisolm Tavren Help"));
  resize(kViewerSize);
  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("tbHelp"));
  // Sections of the page open in this window; a web address goes to the
  // desktop, which may open it or not.
  browser_->setOpenLinks(true);
  browser_->setOpenExternalLinks(true);
  browser_->document()->setDocumentMargin(kPageMargin);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  if (QFileInfo(path).isFile()) {
    browser_->setSource(QUrl::fromLocalFile(path));
    if (!browser_->documentTitle().isEmpty()) setWindowTitle(browser_->documentTitle());
  } else {
    browser_->setPlainText(QStringLiteral("The help page was not found:\n") + path);
  }
}

}  // namespace tavren
