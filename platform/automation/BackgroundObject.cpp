#include "platform/automation/BackgroundObject.h"

namespace kv {

TBackgroundObject::TBackgroundObject(TCreate Create) : FThread([this, C = std::move(Create)] { Run(C); }) {}

TBackgroundObject::~TBackgroundObject() {
  {
    std::lock_guard<std::mutex> G(FLock);
    FQueue.clear();
    FQuit = true;
  }
  FEnding.request_stop();
  FChanged.notify_all();
  FThread.join();
}

void TBackgroundObject::Post(std::string Name, TOleArgs Args) {
  {
    std::lock_guard<std::mutex> G(FLock);
    FQueue.emplace_back(std::move(Name), std::move(Args));
  }
  FChanged.notify_all();
}

void TBackgroundObject::Flush() {
  std::unique_lock<std::mutex> G(FLock);
  FChanged.wait(G, [this] { return FQueue.empty() && !FBusy; });
}

int TBackgroundObject::Failures() const {
  std::lock_guard<std::mutex> G(FLock);
  return FFailures;
}

void TBackgroundObject::Run(TCreate Create) {
  std::shared_ptr<IDispatch> Object;
  bool Failed = false;
  try {
    Object = Create(FEnding.get_token());
  } catch (const std::exception &) {
    Failed = true;
  }
  std::unique_lock<std::mutex> G(FLock);
  FFailures += Failed || !Object;
  for (;;) {
    FBusy = false;
    FChanged.notify_all();
    FChanged.wait(G, [this] { return FQuit || !FQueue.empty(); });
    if (FQuit)
      break;
    auto Call = std::move(FQueue.front());
    FQueue.pop_front();
    FBusy = true;
    G.unlock();
    Failed = false;
    try {
      if (!Object)
        throw EOleException(TOleError::Dead, OleErrorText(TOleError::Dead));
      Object->Invoke(Call.first, Call.second);
    } catch (const std::exception &) {
      Failed = true;
    }
    G.lock();
    FFailures += Failed;
  }
  G.unlock();
  // The release leaves from this thread, like every call before it.
  Object.reset();
}

}  // namespace kv
