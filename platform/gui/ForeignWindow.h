#pragma once
// Putting a widget into another program's native window (X11 only). When the
// foreign window goes away, the widget's owner is told, so it can take the
// widget back before drawing into a window that no longer exists.
#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPoint>
#include <QWidget>

#include <functional>
#include <map>
#include <string>

namespace kv {

class TForeignEmbedder : public QObject, public QAbstractNativeEventFilter {
public:
  TForeignEmbedder();
  ~TForeignEmbedder() override;
  // False with the reason when this platform cannot embed or Parent is not a
  // window of another program (a screen's root is nobody's); the widget is
  // then left where it was.
  bool Embed(QWidget *Widget, quintptr Parent, QPoint Pos, std::string &Error);
  // Whether this platform can put widgets into foreign windows.
  static bool Supported();
  // Detaches the widget from its foreign parent (to the desktop's root), if
  // it has one; the caller then gives it a parent of its own.
  void Release(QWidget *Widget);
  // Called for a widget whose foreign parent vanished, from the event loop
  // (or from Embed, when that comes first); it must give the widget a parent
  // of its own, which drops the widget's dead window.
  std::function<void(QWidget *)> OnParentGone;

  bool nativeEventFilter(const QByteArray &Type, void *Message, qintptr *Result) override;

private:
  struct TEmbedding {
    quintptr Parent;
    QWindow *Foreign;
    bool Gone;  // the parent was destroyed, and our window with it
  };
  void Rescue(QWidget *Widget);
  std::map<QWidget *, TEmbedding> FEmbedded;
};

}  // namespace kv

namespace kv {

// Gives Panel a native window of its own for another program to draw in and
// returns its handle. Its ancestors stay drawn by Qt, which moves such a
// window only when the panel itself moves: when a layout moves an ancestor,
// the window is moved here to where the panel now stands.
quintptr LendNativeWindow(QWidget *Panel);

}  // namespace kv
