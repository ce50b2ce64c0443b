#include "window/window_resources.h"

#include <QtGlobal>
#include <mutex>

// Q_INIT_RESOURCE names a function at global scope, so it cannot be used
// inside the namespace.
static void RegisterResources() { Q_INIT_RESOURCE(resources); }

namespace tavren {

void InitWindowResources() {
  static std::once_flag once;
  std::call_once(once, RegisterResources);
}

QString ResourcePicture(const QString& name) {
#ifdef TAVREN_BITMAP_PICTURES
  return QStringLiteral(":/resources/") + name + QStringLiteral(".png");
#else
  return QStringLiteral(":/resources/") + name + QStringLiteral(".svg");
#endif
}

}  // namespace tavren
