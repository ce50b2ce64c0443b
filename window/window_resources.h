// The window's pictures (icons, logos) are compiled into the static widget
// library; a static library's resources are only registered when something
// asks for them, so every user of the pictures calls this first.
#pragma once

#include <QString>

namespace tavren {

// Registers the pictures under ":/resources/"; later calls do nothing.
void InitWindowResources();

// The resource path of the window's picture `name` ("open", "close1"):
// its SVG file where Qt's SVG module is built, otherwise a bitmap drawn
// from that SVG at build time, at twice the size the window shows it
// (a Qt without the SVG module, as a cross-built one may be).
QString ResourcePicture(const QString& name);

}  // namespace tavren
