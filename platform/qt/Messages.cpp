#include "platform/qt/Messages.h"

#include "platform/Dialogs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <unordered_map>

namespace kv {

namespace {

class TPostedMessage : public QEvent {
public:
  TPostedMessage(UINT Msg, WPARAM WParam, LPARAM LParam)
      : QEvent(Type()), FMsg(Msg), FWParam(WParam), FLParam(LParam) {}
  static QEvent::Type Type() {
    static const auto t = static_cast<QEvent::Type>(QEvent::registerEventType());
    return t;
  }
  UINT FMsg;
  WPARAM FWParam;
  LPARAM FLParam;
};

std::unordered_map<HWND, TMessageTarget *> &Targets() {
  static std::unordered_map<HWND, TMessageTarget *> t;
  return t;
}

HWND NextHandle() {
  static HWND next = 0x100;
  return next++;
}

}  // namespace

TMessageTarget::TMessageTarget(TWndProc WndProc, QObject *Parent)
    : QObject(Parent), FHandle(NextHandle()), FWndProc(std::move(WndProc)) {
  Targets()[FHandle] = this;
}

TMessageTarget::~TMessageTarget() {
  Targets().erase(FHandle);
  // Qt drops the events still queued for this object.
}

LRESULT TMessageTarget::Dispatch(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m;
  m.Msg = Msg;
  m.WParam = WParam;
  m.LParam = LParam;
  try {
    WndProc(m);
  } catch (...) {
    HandleException();
  }
  return m.Result;
}

void TMessageTarget::WndProc(TMessage &Message) {
  if (FWndProc)
    FWndProc(Message);
}

bool TMessageTarget::event(QEvent *E) {
  if (E->type() == TPostedMessage::Type()) {
    auto *p = static_cast<TPostedMessage *>(E);
    Dispatch(p->FMsg, p->FWParam, p->FLParam);
    return true;
  }
  return QObject::event(E);
}

UINT TMessageTarget::SetTimer(UINT IDEvent, UINT Elapse) {
  auto &slot = FTimers[IDEvent];
  if (!slot) {
    slot = std::make_unique<QTimer>();
    QObject::connect(slot.get(), &QTimer::timeout, this, [this, IDEvent] {
      Dispatch(WM_TIMER, IDEvent, 0);
    });
  }
  slot->start(static_cast<int>(Elapse < 10 ? 10 : Elapse));
  return IDEvent;
}

bool TMessageTarget::KillTimer(UINT IDEvent) {
  auto it = FTimers.find(IDEvent);
  if (it == FTimers.end() || !it->second->isActive())
    return false;
  // Kept, stopped, until the target goes: the handler of this very timer may
  // be the caller.
  it->second->stop();
  return true;
}

TMessageTarget *FindTarget(HWND Wnd) {
  auto it = Targets().find(Wnd);
  return it == Targets().end() ? nullptr : it->second;
}

bool IsWindow(HWND Wnd) { return FindTarget(Wnd) != nullptr; }

bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessageTarget *t = FindTarget(Wnd);
  if (!t)
    return false;
  QCoreApplication::postEvent(t, new TPostedMessage(Msg, WParam, LParam));
  return true;
}

LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessageTarget *t = FindTarget(Wnd);
  return t ? t->Dispatch(Msg, WParam, LParam) : 0;
}

UINT SetTimer(HWND Wnd, UINT IDEvent, UINT Elapse) {
  TMessageTarget *t = FindTarget(Wnd);
  return t ? t->SetTimer(IDEvent, Elapse) : 0;
}

bool KillTimer(HWND Wnd, UINT IDEvent) {
  TMessageTarget *t = FindTarget(Wnd);
  return t && t->KillTimer(IDEvent);
}

void ProcessMessages() { QCoreApplication::processEvents(); }

bool WaitUntil(const std::function<bool()> &Condition, int TimeoutMs) {
  QElapsedTimer clock;
  clock.start();
  // Wakes the blocking pass below, so the limit and conditions set from
  // outside the loop are seen.
  QTimer tick;
  tick.start(10);
  while (!Condition()) {
    if (TimeoutMs >= 0 && clock.elapsed() >= TimeoutMs)
      return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void ShowException(const std::exception &E) {
  std::string msg = E.what();
  if (!msg.empty() && static_cast<unsigned char>(msg.back()) > '.')
    msg += '.';
  MessageBox(msg, ApplicationTitle(), MB_OK | MB_ICONERROR);
}

void HandleException() {
  try {
    throw;
  } catch (const std::exception &e) {
    ShowException(e);
  } catch (...) {
    ShowException(std::runtime_error("Unknown exception"));
  }
}

bool NotifyReporting(const std::function<bool()> &Deliver) {
  try {
    return Deliver();
  } catch (...) {
    HandleException();
    return false;
  }
}

}  // namespace kv
