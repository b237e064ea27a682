#pragma once
// Waiting in tests: for the very condition a test goes on to check, polled
// within a generous limit, never a fixed sleep. The suite runs beside other
// work, so anything may take many times longer than it does on an idle machine.
#include <chrono>
#include <functional>
#include <thread>

namespace kvtest {

// The limit for anything a test waits on.
constexpr int WaitLimitMs = 20000;

// Polls Condition without running an event loop, calling Between (if any)
// after each miss; true once it holds, false at the limit. Tests whose Qt
// loop must run meanwhile use kv::WaitUntil instead.
inline bool PollUntil(const std::function<bool()> &Condition, int LimitMs = WaitLimitMs,
                      const std::function<void()> &Between = {}) {
  const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(LimitMs);
  while (!Condition()) {
    if (std::chrono::steady_clock::now() >= End)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (Between)
      Between();
  }
  return true;
}

}  // namespace kvtest
