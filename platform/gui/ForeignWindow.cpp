#include "platform/gui/ForeignWindow.h"

#include <QGuiApplication>
#include <QTimer>
#include <QWindow>
#include <xcb/xcb.h>

#include <cstdlib>

namespace kv {

static xcb_connection_t *X11Connection() {
  auto *X = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return X ? X->connection() : nullptr;
}

TForeignEmbedder::TForeignEmbedder() {
  if (Supported())
    qGuiApp->installNativeEventFilter(this);
}

TForeignEmbedder::~TForeignEmbedder() {
  if (qGuiApp)
    qGuiApp->removeNativeEventFilter(this);
  for (auto &[W, E] : FEmbedded)
    delete E.Foreign;
}

bool TForeignEmbedder::Supported() {
  return qGuiApp && QGuiApplication::platformName() == QLatin1String("xcb") && X11Connection();
}

bool TForeignEmbedder::Embed(QWidget *Widget, quintptr Parent, QPoint Pos, std::string &Error) {
  if (!Supported()) {
    Error = "foreign windows need X11";
    return false;
  }
  xcb_connection_t *C = X11Connection();
  const auto Window = static_cast<xcb_window_t>(Parent);
  // A handle that names no window would only draw X errors later.
  xcb_generic_error_t *Err = nullptr;
  auto *Attr = Parent > 0xFFFFFFFFu ? nullptr
                                    : xcb_get_window_attributes_reply(C, xcb_get_window_attributes(C, Window), &Err);
  free(Err);
  if (!Attr) {
    Error = "Invalid window handle";
    return false;
  }
  // Our own interest in the parent's end; other clients' masks are their own.
  const uint32_t Mask = Attr->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  free(Attr);
  xcb_change_window_attributes(C, Window, XCB_CW_EVENT_MASK, &Mask);
  xcb_flush(C);

  QWindow *Foreign = QWindow::fromWinId(Parent);
  if (!Foreign) {
    Error = "Invalid window handle";
    return false;
  }
  const QSize Size = Widget->size();
  Forget(Widget);
  Widget->setParent(nullptr, Qt::Window | Qt::FramelessWindowHint);
  Widget->setAttribute(Qt::WA_NativeWindow);
  Widget->winId();
  Widget->windowHandle()->setParent(Foreign);
  Widget->setGeometry(QRect(Pos, Size));
  Widget->show();
  FEmbedded[Widget] = {Parent, Foreign};
  return true;
}

void TForeignEmbedder::Forget(QWidget *Widget) {
  auto It = FEmbedded.find(Widget);
  if (It == FEmbedded.end())
    return;
  if (Widget->windowHandle() && Widget->windowHandle()->parent() == It->second.Foreign)
    Widget->windowHandle()->setParent(nullptr);
  It->second.Foreign->deleteLater();
  FEmbedded.erase(It);
}

bool TForeignEmbedder::nativeEventFilter(const QByteArray &Type, void *Message, qintptr *) {
  if (Type != "xcb_generic_event_t")
    return false;
  auto *Event = static_cast<xcb_generic_event_t *>(Message);
  if ((Event->response_type & 0x7F) != XCB_DESTROY_NOTIFY)
    return false;
  const auto *D = reinterpret_cast<xcb_destroy_notify_event_t *>(Event);
  for (auto It = FEmbedded.begin(); It != FEmbedded.end(); ++It) {
    if (It->second.Parent != D->window)
      continue;
    QWidget *W = It->first;
    QWindow *Foreign = It->second.Foreign;
    FEmbedded.erase(It);
    // Our window went with its parent. The owner takes the widget back (which
    // drops the widget's dead window) before the wrapper of the parent goes,
    // since that wrapper would take a still attached window with it.
    QTimer::singleShot(0, this, [this, W, Foreign] {
      if (OnParentGone)
        OnParentGone(W);
      if (W->windowHandle() && W->windowHandle()->parent() == Foreign)
        W->windowHandle()->setParent(nullptr);
      delete Foreign;
    });
    break;
  }
  return false;
}

}  // namespace kv
