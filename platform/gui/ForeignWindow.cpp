#include "platform/gui/ForeignWindow.h"

#include <QGuiApplication>
#include <QTimer>
#include <QEvent>
#include <QWindow>
#include <xcb/xcb.h>

#include <cstdlib>
#include <set>

namespace kv {

static xcb_connection_t *X11Connection() {
  auto *X = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return X ? X->connection() : nullptr;
}

// Whether Window is one of this program's own windows or lies inside one:
// putting a widget there would hide it in itself or loop the window tree.
static bool OwnWindow(xcb_connection_t *C, xcb_window_t Window) {
  std::set<xcb_window_t> Own;
  for (QWindow *W : QGuiApplication::allWindows())
    if (W->handle() && W->type() != Qt::ForeignWindow)
      Own.insert(xcb_window_t(W->winId()));
  for (xcb_window_t At = Window; At != XCB_WINDOW_NONE;) {
    if (Own.count(At))
      return true;
    auto *Tree = xcb_query_tree_reply(C, xcb_query_tree(C, At), nullptr);
    if (!Tree)
      return false;
    At = Tree->parent;
    if (At == Tree->root)
      At = XCB_WINDOW_NONE;
    free(Tree);
  }
  return false;
}

// A screen's root is the desktop itself, nobody's window to lend to.
static bool RootWindow(xcb_connection_t *C, xcb_window_t Window) {
  for (auto It = xcb_setup_roots_iterator(xcb_get_setup(C)); It.rem; xcb_screen_next(&It))
    if (It.data->root == Window)
      return true;
  return false;
}

// Whether Parent may take a widget of ours: a window that exists and belongs
// to another program, not a screen's root. EventMask is then the events this
// connection already asks of it.
static bool MayBeParent(xcb_connection_t *C, quintptr Parent, uint32_t &EventMask) {
  if (Parent > 0xFFFFFFFFu)
    return false;
  const auto Window = static_cast<xcb_window_t>(Parent);
  // A handle that names no window would only draw X errors later.
  xcb_generic_error_t *Err = nullptr;
  auto *Attr = xcb_get_window_attributes_reply(C, xcb_get_window_attributes(C, Window), &Err);
  free(Err);
  if (!Attr)
    return false;
  EventMask = Attr->your_event_mask;
  free(Attr);
  return !RootWindow(C, Window) && !OwnWindow(C, Window);
}

TForeignEmbedder::TForeignEmbedder() {
  if (Supported())
    qGuiApp->installNativeEventFilter(this);
}

TForeignEmbedder::~TForeignEmbedder() {
  if (qGuiApp)
    qGuiApp->removeNativeEventFilter(this);
  // Owners take their widgets back first (Release); what is left goes.
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
  uint32_t Mask = 0;
  if (!MayBeParent(C, Parent, Mask)) {
    Error = "Invalid window handle";
    return false;
  }
  // Our own interest in the parent's end; other clients' masks are their own.
  Mask |= XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_change_window_attributes(C, Window, XCB_CW_EVENT_MASK, &Mask);
  xcb_flush(C);

  QWindow *Foreign = QWindow::fromWinId(Parent);
  if (!Foreign) {
    Error = "Invalid window handle";
    return false;
  }
  const QSize Size = Widget->size();
  Release(Widget);
  Widget->setParent(nullptr, Qt::Window | Qt::FramelessWindowHint);
  Widget->setAttribute(Qt::WA_NativeWindow);
  Widget->winId();
  Widget->windowHandle()->setParent(Foreign);
  Widget->setGeometry(QRect(Pos, Size));
  Widget->show();
  FEmbedded[Widget] = {Parent, Foreign, false};
  // Make sure the X server has done it all before the caller hears so.
  free(xcb_get_input_focus_reply(C, xcb_get_input_focus(C), nullptr));
  return true;
}

void TForeignEmbedder::Release(QWidget *Widget) {
  auto It = FEmbedded.find(Widget);
  if (It == FEmbedded.end())
    return;
  // The parent's end may still be on its way to us; ask the X server.
  if (!It->second.Gone) {
    xcb_connection_t *C = X11Connection();
    auto *Attr = xcb_get_window_attributes_reply(C, xcb_get_window_attributes(C, xcb_window_t(It->second.Parent)), nullptr);
    It->second.Gone = !Attr;
    free(Attr);
  }
  if (It->second.Gone) {
    Rescue(Widget);
    return;
  }
  if (Widget->windowHandle() && Widget->windowHandle()->parent() == It->second.Foreign)
    Widget->windowHandle()->setParent(nullptr);
  delete It->second.Foreign;
  FEmbedded.erase(It);
}

void TForeignEmbedder::Rescue(QWidget *W) {
  auto It = FEmbedded.find(W);
  if (It == FEmbedded.end() || !It->second.Gone)
    return;
  QWindow *Foreign = It->second.Foreign;
  FEmbedded.erase(It);
  // Qt still holds the id of our dead window; drop it, so the next use makes
  // a new one. The parent's wrapper goes only after, since it would take an
  // attached window with it.
  if (QWindow *Own = W->windowHandle()) {
    if (Own->parent() == Foreign)
      Own->setParent(nullptr);
    Own->destroy();
  }
  delete Foreign;
  if (OnParentGone)
    OnParentGone(W);
}

bool TForeignEmbedder::nativeEventFilter(const QByteArray &Type, void *Message, qintptr *) {
  if (Type != "xcb_generic_event_t")
    return false;
  auto *Event = static_cast<xcb_generic_event_t *>(Message);
  if ((Event->response_type & 0x7F) != XCB_DESTROY_NOTIFY)
    return false;
  const auto *D = reinterpret_cast<xcb_destroy_notify_event_t *>(Event);
  for (auto &[W, E] : FEmbedded) {
    if (E.Parent != D->window || E.Gone)
      continue;
    E.Gone = true;
    QTimer::singleShot(0, this, [this, Widget = W] { Rescue(Widget); });
  }
  return false;
}

}  // namespace kv

namespace kv {

namespace {

// Watches the panel's ancestors for moves and puts its window back under it.
class TLentWindowKeeper : public QObject {
public:
  explicit TLentWindowKeeper(QWidget *Panel) : QObject(Panel), FPanel(Panel) {
    for (QWidget *W = Panel->parentWidget(); W && !W->isWindow(); W = W->parentWidget())
      W->installEventFilter(this);
  }

  bool eventFilter(QObject *Watched, QEvent *Event) override {
    if (Event->type() == QEvent::Move || Event->type() == QEvent::Show)
      Place();
    return QObject::eventFilter(Watched, Event);
  }

private:
  void Place() {
    QWindow *Own = FPanel->windowHandle();
    QWidget *NativeParent = FPanel->nativeParentWidget();
    if (!Own || !NativeParent)
      return;
    const QPoint At = FPanel->mapTo(NativeParent, QPoint(0, 0));
    if (Own->position() != At)
      Own->setPosition(At);
  }

  QWidget *FPanel;
};

}  // namespace

quintptr LendNativeWindow(QWidget *Panel) {
  // Only the panel needs a window of its own; the rest stays drawn by Qt (a
  // native window for every sibling and ancestor would slow the window's
  // first showing).
  QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  Panel->setAttribute(Qt::WA_DontCreateNativeAncestors);
  const quintptr Handle = Panel->winId();
  new TLentWindowKeeper(Panel);
  return Handle;
}

}  // namespace kv
