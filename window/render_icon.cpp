// render_icon SVG SIZE PNG: draws the program's icon as a square PNG, for
// desktops that want a bitmap icon beside the scalable one.  Run at build
// time, so the SVG stays the icon's only source.
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: render_icon SVG SIZE PNG\n", stderr);
    return 2;
  }
  QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
  bool sizeOk = false;
  const int size = QString::fromLocal8Bit(argv[2]).toInt(&sizeOk);
  if (!svg.isValid() || !sizeOk || size < 1 || size > 4096) {
    std::fprintf(stderr, "render_icon: cannot draw %s at %s pixels\n", argv[1], argv[2]);
    return 1;
  }
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  svg.render(&painter);
  painter.end();
  if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
    std::fprintf(stderr, "render_icon: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
