#include "client/uAutomation.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/automation/Automation.h"
#include "platform/automation/BackgroundObject.h"

namespace {

TCreateAnimator &Factory() {
  static TCreateAnimator F;
  return F;
}

// Holds the server's start back until a window of ours has been shown and
// painted: a server starting beside the window would compete with it for the
// display and the processor. Without a window it opens after a while.
class TStartGate : public QObject {
public:
  TStartGate() {
    if (qApp)
      qApp->installEventFilter(this);
  }
  void Open() {
    {
      std::lock_guard<std::mutex> G(FLock);
      FOpen = true;
    }
    FChanged.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> G(FLock);
    FChanged.wait_for(G, std::chrono::seconds(1), [this] { return FOpen; });
  }
  bool eventFilter(QObject *Watched, QEvent *Event) override {
    auto *W = qobject_cast<QWindow *>(Watched);
    if (Event->type() == QEvent::Expose && W && W->isExposed()) {
      qApp->removeEventFilter(this);
      // Once this expose has been painted.
      QTimer::singleShot(0, this, [this] { Open(); });
    }
    return false;
  }

private:
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FOpen = false;
};

// The animation server's object, called late-bound by member name. The calls
// run in order on a thread of their own, so neither starting the server nor
// a server that hangs holds up the window, which ignores their outcome anyway.
class TAnimatorProxy : public IAnimator {
public:
  explicit TAnimatorProxy(const std::string &ProgID)
      : FGate(std::make_unique<TStartGate>()), FObject([Gate = FGate.get(), ProgID](std::stop_token Ending) {
          Gate->Wait();
          return kv::CreateAutomationObject(ProgID, Ending);
        }) {
  }
  ~TAnimatorProxy() override { FGate->Open(); }
  void Start() override { FObject.Post("Start", {}); }
  void Stop() override { FObject.Post("Stop", {}); }
  void SetAnimateParent(WId Parent) override { FObject.Post("SetAnimateParent", {Handle(Parent)}); }
  void DisplayStatus(const std::string &Text, bool Flash) override { FObject.Post("DisplayStatus", {Text, Flash}); }
  void SetStatusParent(WId Parent) override { FObject.Post("SetStatusParent", {Handle(Parent)}); }

private:
  // A window handle crosses as a 32-bit integer; X11's ids fit.
  static int Handle(WId Parent) { return static_cast<int>(static_cast<uint32_t>(Parent)); }
  std::unique_ptr<TStartGate> FGate;
  kv::TBackgroundObject FObject;  // after the gate: it goes first
};

}  // namespace

std::unique_ptr<IAnimator> CreateOleObject(const std::string &ProgID) {
  if (Factory()) {
    if (auto Object = Factory()(ProgID))
      return Object;
  } else if (kv::ClassRegistered(ProgID)) {
    return std::make_unique<TAnimatorProxy>(ProgID);
  }
  throw EOleSysError("Invalid class string");
}

void SetAnimatorFactory(TCreateAnimator F) { Factory() = std::move(F); }
