#pragma once
// A named mutex as an advisory lock file below the runtime folder
// ($XDG_RUNTIME_DIR, else /tmp/korvandel-<uid>). The kernel releases it when
// its owner dies.
#include <string>

namespace kv {

class TNamedMutex {
public:
  explicit TNamedMutex(const std::string &Name);
  ~TNamedMutex();  // releases when held
  TNamedMutex(const TNamedMutex &) = delete;
  TNamedMutex &operator=(const TNamedMutex &) = delete;
  // Waits up to TimeoutMs for the mutex; true when this object now holds it.
  bool Wait(unsigned TimeoutMs);
  void Release();
  bool Held() const { return FFd >= 0 && FHeld; }

private:
  std::string FPath;
  int FFd = -1;
  bool FHeld = false;
};

// The private folder for locks and local sockets, created with mode 0700.
std::string RuntimeFolder();

}  // namespace kv
