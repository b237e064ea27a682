#include "SessionBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kvtest {

namespace {

// Runs Argv with its output on a pipe, tied to our life; returns the first
// line it writes there (empty on failure).
pid_t SpawnReadingLine(std::vector<std::string> Argv, std::string &Line, const std::string &FdArg) {
  int P[2];
  if (pipe(P) != 0)
    return -1;
  for (auto &A : Argv)
    if (A == "{fd}")
      A = FdArg + std::to_string(P[1]);
  const pid_t Pid = fork();
  if (Pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    close(P[0]);
    std::vector<char *> Args;
    for (auto &A : Argv)
      Args.push_back(A.data());
    Args.push_back(nullptr);
    execvp(Args[0], Args.data());
    _exit(127);
  }
  close(P[1]);
  Line.clear();
  char C;
  while (read(P[0], &C, 1) == 1 && C != '\n')
    Line += C;
  close(P[0]);
  if (Pid > 0 && Line.empty()) {
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
    return -1;
  }
  return Pid;
}

}  // namespace

// Qt keeps one session bus connection for the process's life, so one daemon
// serves every test of the process; each test still ends every server it made.
PrivateBus::PrivateBus() {
  static pid_t Daemon = -1;
  static std::string Address;
  if (Daemon <= 0 || ProcessGone(Daemon)) {
    std::string Line;
    Daemon = SpawnReadingLine({"dbus-daemon", "--session", "--nofork", "--nopidfile", "{fd}"}, Line, "--print-address=");
    Address = Daemon > 0 ? Line : std::string();
  }
  FPid = Daemon;
  if (FPid > 0) {
    FAddress = Address;
    setenv("DBUS_SESSION_BUS_ADDRESS", FAddress.c_str(), 1);
  }
}

PrivateBus::~PrivateBus() {
  if (FPid <= 0)
    return;
  QDBusConnection Bus = QDBusConnection::sessionBus();
  if (!Bus.isConnected() || !Bus.interface())
    return;
  const QStringList Names = Bus.interface()->registeredServiceNames().value();
  std::vector<std::string> Ended;
  for (const QString &N : Names) {
    const uint Pid = Bus.interface()->servicePid(N).value();
    if (Pid > 0 && pid_t(Pid) != getpid() && pid_t(Pid) != FPid) {
      kill(pid_t(Pid), SIGKILL);
      Ended.push_back(N.toStdString());
    }
  }
  // The next test must not find a name of this one's servers.
  for (const std::string &N : Ended)
    WaitNameGone(N, 20000);
}

pid_t PrivateBus::OwnerPid(const std::string &Name) {
  QDBusConnection Bus = QDBusConnection::sessionBus();
  if (!Bus.isConnected() || !Bus.interface())
    return 0;
  const QDBusReply<uint> R = Bus.interface()->servicePid(QString::fromStdString(Name));
  return R.isValid() ? pid_t(R.value()) : 0;
}

bool PrivateBus::WaitNameGone(const std::string &Name, int LimitMs) {
  const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(LimitMs);
  while (std::chrono::steady_clock::now() < End) {
    if (OwnerPid(Name) == 0)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

VirtualDisplay::VirtualDisplay() {
  std::string Line;
  FPid = SpawnReadingLine({"Xvfb", "-displayfd", "{fd}", "-screen", "0", "800x600x24", "-nolisten", "tcp"}, Line, "");
  if (FPid > 0)
    setenv("DISPLAY", (":" + Line).c_str(), 1);
}

VirtualDisplay::~VirtualDisplay() {
  if (FPid <= 0)
    return;
  kill(FPid, SIGTERM);
  waitpid(FPid, nullptr, 0);
}

bool ProcessGone(pid_t Pid) {
  std::ifstream F("/proc/" + std::to_string(Pid) + "/stat");
  if (!F)
    return true;
  std::string Ignore, Name;
  char State = 0;
  F >> Ignore >> Name >> State;
  return State == 'Z' || State == 'X';
}

}  // namespace kvtest
