// Link labels and the web links they open.  A link label is blue and
// underlined; pressed with the left button it turns red, released purple,
// and it stays purple for the rest of the run as the mark of a visited link.
#pragma once

#include <QLabel>
#include <string>

namespace tavren {

class TPlatform;

inline constexpr int kLinkProductPage = 1;
inline constexpr int kLinkTechnologies = 3;
inline constexpr int kLinkMakerHome = 4;
inline constexpr int kLinkFeedback = 5;

// The address of a web link; the feedback link carries the version text.
// An unknown number gives an empty text.
std::string WebLinkTarget(int number, const std::string& versionText);

// Hands the link to the desktop's browser; a failure is not reported.
void OpenWebLink(TPlatform& platform, int number, const std::string& versionText);

// Recolours a link label for a press (released = false) or a release of
// the given button; only the left button counts.
void ColorLink(QWidget* label, Qt::MouseButton button, bool released);

class TLinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TLinkLabel(const QString& text, QWidget* parent = nullptr);

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// A picture that opens a link when clicked (the logos).
class TClickablePicture : public QLabel {
  Q_OBJECT

 public:
  TClickablePicture(const QString& resource, QSize size, QWidget* parent = nullptr);

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace tavren
