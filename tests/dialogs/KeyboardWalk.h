#pragma once
// Driving a window with the keyboard alone, as a user without a mouse would:
// real key events through the application, the focus read back after each.
#include <QApplication>
#include <QTest>
#include <QWidget>

#include <string>
#include <vector>

namespace kvtest {

// The name a test knows a control by: its own, or that of the named control
// it is part of (a spin box's edit, a tab widget's bar).
inline std::string ControlName(const QWidget *W) {
  for (; W; W = W->parentWidget())
    if (!W->objectName().isEmpty() && !W->objectName().startsWith("qt_"))
      return W->objectName().toStdString();
  return "<unnamed>";
}

inline std::string FocusName() {
  QWidget *F = QApplication::focusWidget();
  return F ? ControlName(F) : "<no focus>";
}

// Shows Window and makes it the active one, so keys go to it.
inline bool ShowActive(QWidget *Window) {
  Window->show();
  Window->activateWindow();
  return QTest::qWaitForWindowActive(Window);
}

inline void Press(Qt::Key Key, Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
  QWidget *Target = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
  QTest::keyClick(Target, Key, Modifiers);
}

// The controls Tab visits from the window's first focus until the focus is
// back there; a focus Tab cannot leave or a walk that never returns ends the
// list with a mark saying so.
inline std::vector<std::string> TabWalk(int Limit = 40) {
  std::vector<std::string> Seen;
  QWidget *First = QApplication::focusWidget();
  if (!First)
    return {"<no focus>"};
  Seen.push_back(ControlName(First));
  for (int I = 0; I < Limit; ++I) {
    QWidget *Before = QApplication::focusWidget();
    Press(Qt::Key_Tab);
    QWidget *After = QApplication::focusWidget();
    if (After == First)
      return Seen;
    if (After == Before) {
      Seen.push_back("<Tab stays in " + ControlName(After) + ">");
      return Seen;
    }
    Seen.push_back(ControlName(After));
  }
  Seen.push_back("<never back>");
  return Seen;
}

}  // namespace kvtest
