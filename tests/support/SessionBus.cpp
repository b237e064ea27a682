#include "SessionBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QXmlStreamReader>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/automation/Automation.h"
#include "platform/automation/Bus.h"

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

PrivateBus::PrivateBus() {
  std::string Line;
  FPid = SpawnReadingLine({"dbus-daemon", "--session", "--nofork", "--nopidfile", "{fd}"}, Line, "--print-address=");
  if (FPid > 0) {
    FAddress = Line;
    setenv("DBUS_SESSION_BUS_ADDRESS", FAddress.c_str(), 1);
  }
}

PrivateBus::~PrivateBus() {
  if (FPid <= 0)
    return;
  QDBusConnection Bus = kv::SessionBus();
  if (Bus.isConnected() && Bus.interface()) {
    const QStringList Names = Bus.interface()->registeredServiceNames().value();
    for (const QString &N : Names) {
      const uint Pid = Bus.interface()->servicePid(N).value();
      if (Pid > 0 && pid_t(Pid) != getpid() && pid_t(Pid) != FPid)
        kill(pid_t(Pid), SIGKILL);
    }
  }
  Stop();
}

void PrivateBus::Stop() {
  if (FPid <= 0)
    return;
  kill(FPid, SIGTERM);
  waitpid(FPid, nullptr, 0);
  FPid = -1;
}

pid_t PrivateBus::OwnerPid(const std::string &Name) {
  QDBusConnection Bus = kv::SessionBus();
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

VirtualDisplay::VirtualDisplay(int Screens, const std::string &FirstScreen) {
  std::vector<std::string> Argv = {"Xvfb", "-displayfd", "{fd}", "-screen", "0", FirstScreen + "x24"};
  for (int I = 1; I < Screens; ++I)
    Argv.insert(Argv.end(), {"-screen", std::to_string(I), "320x200x24"});
  Argv.insert(Argv.end(), {"-nolisten", "tcp"});
  std::string Line;
  FPid = SpawnReadingLine(Argv, Line, "");
  if (FPid > 0) {
    FName = ":" + Line;
    setenv("DISPLAY", FName.c_str(), 1);
  }
}

VirtualDisplay::~VirtualDisplay() {
  if (FPid <= 0)
    return;
  kill(FPid, SIGTERM);
  waitpid(FPid, nullptr, 0);
}

std::string AsanOptionsForX(const std::string &Options) {
  std::string Relaxed = Options;
  const std::string Strict = "strict_string_checks=1";
  if (const auto At = Relaxed.find(Strict); At != std::string::npos)
    Relaxed.replace(At, Strict.size(), "strict_string_checks=0");
  return Relaxed;
}

std::string Missing(const VirtualDisplay &Display, const PrivateBus &Bus) {
  return !Display.Started() ? "no Xvfb" : !Bus.Started() ? "no dbus-daemon" : "";
}

bool ProcessGone(pid_t Pid) { return kv::ProcessEnded(long(Pid)); }

bool WaitProcessGone(pid_t Pid, int LimitMs) {
  const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(LimitMs);
  while (!ProcessGone(Pid)) {
    if (std::chrono::steady_clock::now() >= End)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

KillAtEnd::~KillAtEnd() {
  if (FPid > 0 && !ProcessGone(FPid))
    kill(FPid, SIGKILL);
}

Introspection Introspect(const std::string &Dest, const std::string &Path) {
  Introspection Out;
  QProcess P;
  P.start("dbus-send", {"--session", "--print-reply=literal", QString::fromStdString("--dest=" + Dest),
                        QString::fromStdString(Path), "org.freedesktop.DBus.Introspectable.Introspect"});
  if (!P.waitForFinished(20000) || P.exitCode() != 0)
    return Out;
  Out.Answered = true;
  QXmlStreamReader X(P.readAllStandardOutput());
  bool Ours = false;
  std::string Method;
  int Depth = 0;
  while (!X.atEnd()) {
    const auto T = X.readNext();
    if (T == QXmlStreamReader::StartElement) {
      ++Depth;
      const auto Name = X.name();
      const auto A = X.attributes();
      if (Name == QLatin1String("interface"))
        Ours = A.value("name") == QLatin1String("org.korvandel.Automation");
      else if (Name == QLatin1String("method") && Ours)
        Out.Methods[Method = A.value("name").toString().toStdString()];
      else if (Name == QLatin1String("arg") && Ours && !Method.empty())
        Out.Methods[Method].push_back((A.value("direction") == QLatin1String("out") ? "out:" : "") +
                                      A.value("name").toString().toStdString() + ":" +
                                      A.value("type").toString().toStdString());
      else if (Name == QLatin1String("node") && Depth == 2)
        Out.Nodes.push_back(A.value("name").toString().toStdString());
    } else if (T == QXmlStreamReader::EndElement) {
      --Depth;
      if (X.name() == QLatin1String("interface"))
        Ours = false;
      if (X.name() == QLatin1String("method"))
        Method.clear();
    }
  }
  return Out;
}

}  // namespace kvtest
