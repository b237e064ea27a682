#include "platform/gui/Shell.h"

#include <QProcess>
#include <QStringList>

#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"

namespace kv {

namespace {

std::function<void(const std::string &)> &OpenHook() {
  static std::function<void(const std::string &)> h;
  return h;
}

TStartProgramHook &StartHook() {
  static TStartProgramHook h;
  return h;
}

// A target that reaches xdg-open never starts with "-", so it cannot be taken
// for an option.
bool HandOver(const std::string &Target) {
  if (Target.empty() || Target[0] == '-' || HasControlBytes(Target))
    return false;
  if (OpenHook()) {
    OpenHook()(Target);
    return true;
  }
  return QProcess::startDetached(QStringLiteral("xdg-open"), QStringList{FromAnsi(Target)});
}

}  // namespace

bool HasControlBytes(const std::string &Text) {
  for (unsigned char c : Text)
    if (c < 32 || c == 127)
      return true;
  return false;
}

bool ShellCanOpen(const std::string &Url) {
  if (HasControlBytes(Url))
    return false;
  const std::string u = LowerCase(Url);
  for (const char *scheme : {"http://", "https://", "mailto:"}) {
    const std::string s(scheme);
    if (u.size() > s.size() && u.compare(0, s.size(), s) == 0)
      return true;
  }
  return false;
}

bool ShellOpen(const std::string &Url) { return ShellCanOpen(Url) && HandOver(Url); }

bool ShellOpenFile(const std::string &Path) { return !Path.empty() && Path[0] == '/' && HandOver(Path); }

bool StartProgram(const std::string &Program, const std::vector<std::string> &Arguments,
                  const std::string &WorkingDir) {
  if (Program.empty() || HasControlBytes(Program))
    return false;
  if (StartHook())
    return StartHook()(Program, Arguments, WorkingDir);
  QStringList Args;
  for (const std::string &A : Arguments)
    Args << FromAnsi(A);
  return QProcess::startDetached(FromAnsi(Program), Args, FromAnsi(WorkingDir));
}

void SetShellOpenHook(std::function<void(const std::string &Target)> H) { OpenHook() = std::move(H); }
void SetStartProgramHook(TStartProgramHook H) { StartHook() = std::move(H); }

}  // namespace kv
