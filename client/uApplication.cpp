#include "client/uApplication.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace {
bool Terminated = false;
bool TerminatedByFailure = false;
}

void RequestTerminate(bool Failed) {
  Terminated = true;
  TerminatedByFailure = TerminatedByFailure || Failed;
  // Queued, so it also works before the loop has started.
  if (QCoreApplication *App = QCoreApplication::instance())
    QMetaObject::invokeMethod(App, &QCoreApplication::quit, Qt::QueuedConnection);
}

bool TerminateRequested() { return Terminated; }
int ExitStatus() { return TerminatedByFailure ? 1 : 0; }
void ResetTerminateRequest() {
  Terminated = false;
  TerminatedByFailure = false;
}

#include "platform/Paths.h"

namespace {
std::string ProgramDirOverride;
}

std::vector<std::string> &CommandLineArguments() {
  static std::vector<std::string> Arguments;
  return Arguments;
}

std::string ProgramDirectory() { return ProgramDirOverride.empty() ? kv::ProgramFolder() : ProgramDirOverride; }
void SetProgramDirectory(const std::string &Folder) { ProgramDirOverride = Folder; }
