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
  // window; the widget is then left where it was.
  bool Embed(QWidget *Widget, quintptr Parent, QPoint Pos, std::string &Error);
  // Whether this platform can put widgets into foreign windows.
  static bool Supported();
  // Called (from the event loop) for a widget whose foreign parent vanished.
  std::function<void(QWidget *)> OnParentGone;

  bool nativeEventFilter(const QByteArray &Type, void *Message, qintptr *Result) override;

private:
  struct TEmbedding {
    quintptr Parent;
    QWindow *Foreign;
  };
  void Forget(QWidget *Widget);
  std::map<QWidget *, TEmbedding> FEmbedded;
};

}  // namespace kv
