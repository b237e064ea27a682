#pragma once
// Window messages on the Qt event loop. A component that owns a window owns a
// TMessageTarget: posted messages are queued events (FIFO with every other
// posted event of the thread), sent messages call the handler at once, window
// timers are QTimers delivering WM_TIMER. Handles are never reused, so a
// message for a target that is gone is dropped, never delivered to a newcomer.
// Everything here runs on the thread that owns the targets (the GUI thread).
#include <QObject>

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>

class QTimer;

namespace kv {

using HWND = std::uintptr_t;  // 0: no window
using UINT = unsigned;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

// Low and high 16 bits of a message parameter.
inline unsigned LoWord(LPARAM V) { return static_cast<unsigned>(V) & 0xFFFFu; }
inline unsigned HiWord(LPARAM V) { return (static_cast<unsigned>(V) >> 16) & 0xFFFFu; }
inline LPARAM MakeLong(unsigned Lo, unsigned Hi) {
  return static_cast<LPARAM>((Lo & 0xFFFFu) | ((Hi & 0xFFFFu) << 16));
}

class TMessageTarget : public QObject {
public:
  using TWndProc = std::function<void(TMessage &)>;

  explicit TMessageTarget(TWndProc WndProc = {}, QObject *Parent = nullptr);
  ~TMessageTarget() override;
  TMessageTarget(const TMessageTarget &) = delete;
  TMessageTarget &operator=(const TMessageTarget &) = delete;

  HWND Handle() const { return FHandle; }
  void SetWndProc(TWndProc WndProc) { FWndProc = std::move(WndProc); }
  // Runs the window procedure now; an exception from it is reported, not passed on.
  LRESULT Dispatch(UINT Msg, WPARAM WParam, LPARAM LParam);

  UINT SetTimer(UINT IDEvent, UINT Elapse);
  bool KillTimer(UINT IDEvent);

protected:
  // Derived targets may override instead of binding a handler.
  virtual void WndProc(TMessage &Message);
  bool event(QEvent *E) override;

private:
  HWND FHandle;
  TWndProc FWndProc;
  std::map<UINT, std::unique_ptr<QTimer>> FTimers;
};

TMessageTarget *FindTarget(HWND Wnd);
bool IsWindow(HWND Wnd);
// Queues the message; false (and nothing queued) when Wnd is not a live target.
bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam = 0, LPARAM LParam = 0);
// Calls the target's window procedure now; 0 when Wnd is not a live target.
LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam = 0, LPARAM LParam = 0);
// Window timers: an existing timer of the same id is replaced. Elapse below
// 10 ms counts as 10 ms. Returns IDEvent, 0 when Wnd is not a live target.
UINT SetTimer(HWND Wnd, UINT IDEvent, UINT Elapse);
bool KillTimer(HWND Wnd, UINT IDEvent);

// One pass over the pending events (the class library's ProcessMessages).
void ProcessMessages();
// Pumps messages until Condition holds or TimeoutMs has passed (negative:
// no limit). Returns whether the condition held.
bool WaitUntil(const std::function<bool()> &Condition, int TimeoutMs);

// The default report of an exception that reached the message loop: a message
// box with the exception's message (a full stop added), the application title
// as caption, OK only.
void ShowException(const std::exception &E);
// Reports the exception being handled; call inside a catch block.
void HandleException();
// For an application's notify override: runs Deliver and reports whatever it
// throws, so no C++ exception crosses the Qt loop.
//   bool notify(QObject *o, QEvent *e) override {
//     return kv::NotifyReporting([&] { return QApplication::notify(o, e); });
//   }
bool NotifyReporting(const std::function<bool()> &Deliver);

}  // namespace kv
