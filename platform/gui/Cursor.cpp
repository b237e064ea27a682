#include "platform/gui/Cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace kv {

static bool HaveGui() { return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr; }

void ShowHourglass() {
  if (!HaveGui())
    return;
  if (QGuiApplication::overrideCursor())
    QGuiApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
  else
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void RestoreCursor() {
  if (!HaveGui())
    return;
  while (QGuiApplication::overrideCursor())
    QGuiApplication::restoreOverrideCursor();
}

THourglass::THourglass() {
  FSet = HaveGui();
  ShowHourglass();
}

THourglass::~THourglass() {
  if (FSet)
    RestoreCursor();
}

}  // namespace kv
