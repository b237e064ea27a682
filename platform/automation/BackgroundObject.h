#pragma once
// An object whose calls run in order on a thread of their own, for a caller
// that ignores their results and failures and must never wait for them (the
// client's window and the animation server). The object itself is created
// there too, by the first job.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/automation/Dispatch.h"

namespace kv {

class TBackgroundObject {
public:
  using TCreate = std::function<std::shared_ptr<IDispatch>()>;
  explicit TBackgroundObject(TCreate Create);
  // Drops the calls not yet started, waits for the one running (at most its
  // time limit), then releases the object.
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
  std::thread FThread;
};

}  // namespace kv
