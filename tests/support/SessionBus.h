#pragma once
// A private session bus and a private X server for one test, each a child
// process that dies with the test.
#include <string>
#include <sys/types.h>

namespace kvtest {

// Points DBUS_SESSION_BUS_ADDRESS at a dbus-daemon of this test process
// (started by the first PrivateBus, ending with the process); must come before
// the first use of the session bus in this process. On destruction, every
// other process with a name on the bus is killed and its names are gone.
class PrivateBus {
public:
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus &) = delete;
  PrivateBus &operator=(const PrivateBus &) = delete;
  bool Started() const { return FPid > 0; }
  const std::string &Address() const { return FAddress; }
  // The process owning a bus name, 0 when nobody does.
  static pid_t OwnerPid(const std::string &Name);
  // Waits (pumping nothing) until the name has no owner; false at the limit.
  static bool WaitNameGone(const std::string &Name, int LimitMs);

private:
  pid_t FPid = -1;
  std::string FAddress;
};

// Starts Xvfb and sets DISPLAY; Started() is false when there is no Xvfb.
class VirtualDisplay {
public:
  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay &) = delete;
  VirtualDisplay &operator=(const VirtualDisplay &) = delete;
  bool Started() const { return FPid > 0; }

private:
  pid_t FPid = -1;
};

// True when the process is gone or a zombie.
bool ProcessGone(pid_t Pid);

}  // namespace kvtest
