#pragma once
// An object whose calls run in order on a thread of their own, for a caller
// that ignores their results and failures and must never wait for them (the
// client's window and the animation server). The object itself is created
// there too, by the first job; its creation is told when the object is
// ending, so a server that is slow to start holds the end up no longer than
// one call.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "platform/automation/Dispatch.h"

namespace kv {

class TBackgroundObject {
public:
  using TCreate = std::function<std::shared_ptr<IDispatch>(std::stop_token Ending)>;
  explicit TBackgroundObject(TCreate Create);
  // Drops the calls not yet started, stops the creation's wait for its
  // server, waits for the call running (at most its time limit), then
  // releases the object.
  ~TBackgroundObject();
  TBackgroundObject(const TBackgroundObject &) = delete;
  TBackgroundObject &operator=(const TBackgroundObject &) = delete;

  void Post(std::string Name, TOleArgs Args);
  // Waits until every posted call has run.
  void Flush();
  // Calls that failed so far, creation included.
  int Failures() const;

private:
  void Run(TCreate Create);
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::pair<std::string, TOleArgs>> FQueue;
  bool FBusy = true;  // creating the object, or running a call
  bool FQuit = false;
  int FFailures = 0;
  std::stop_source FEnding;
  std::thread FThread;
};

}  // namespace kv
