#pragma once
// A private session bus and a private X server for one test, each a child
// process that dies with the test.
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kvtest {

// Starts dbus-daemon and points DBUS_SESSION_BUS_ADDRESS at it; must come
// before the first use of the session bus in this process. On destruction,
// every other process with a name on the bus is killed, then the bus.
class PrivateBus {
public:
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus &) = delete;
  PrivateBus &operator=(const PrivateBus &) = delete;
  bool Started() const { return FPid > 0; }
  const std::string &Address() const { return FAddress; }
  // Ends the bus daemon now, and nothing else.
  void Stop();
  // The process owning a bus name, 0 when nobody does.
  static pid_t OwnerPid(const std::string &Name);
  // Waits (pumping nothing) until the name has no owner; false at the limit.
  static bool WaitNameGone(const std::string &Name, int LimitMs);

private:
  pid_t FPid = -1;
  std::string FAddress;
};

// Starts Xvfb with Screens screens (the first FirstScreen, "800x600" unless
// given, small ones after) and sets DISPLAY; Started() is false when there is
// no Xvfb.
class VirtualDisplay {
public:
  explicit VirtualDisplay(int Screens = 1, const std::string &FirstScreen = "800x600");
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay &) = delete;
  VirtualDisplay &operator=(const VirtualDisplay &) = delete;
  bool Started() const { return FPid > 0; }
  // The display's name for DISPLAY (":N").
  const std::string &Name() const { return FName; }

private:
  pid_t FPid = -1;
  std::string FName;
};

// The sanitizer's options for a program that talks to an X server: the X
// keyboard library hands strndup buffers without a final NUL, which strict
// string checks report, so such a program runs without them.
std::string AsanOptionsForX(const std::string &Options);

// Why a test that needs both cannot run here ("no Xvfb", "no dbus-daemon"),
// or empty.
std::string Missing(const VirtualDisplay &Display, const PrivateBus &Bus);

// True when the process is gone or a zombie.
bool ProcessGone(pid_t Pid);
// Waits (pumping nothing) until it is; false at the limit.
bool WaitProcessGone(pid_t Pid, int LimitMs);

// Kills a process the test started indirectly when the test ends first.
class KillAtEnd {
public:
  explicit KillAtEnd(pid_t Pid = 0) : FPid(Pid) {}
  ~KillAtEnd();
  KillAtEnd(const KillAtEnd &) = delete;
  KillAtEnd &operator=(const KillAtEnd &) = delete;
  void Set(pid_t Pid) { FPid = Pid; }

private:
  pid_t FPid;
};

// What the bus name Dest serves at Path, asked from another process (dbus-send):
// for every method of our automation interface its arguments as
// "name:type" (with "out:" before results), and the child nodes.
struct Introspection {
  bool Answered = false;
  std::map<std::string, std::vector<std::string>> Methods;
  std::vector<std::string> Nodes;
};
Introspection Introspect(const std::string &Dest, const std::string &Path);

}  // namespace kvtest
