#include "platform/gui/Shell.h"

#include <QProcess>
#include <QStringList>

#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"

namespace kv {

namespace {
std::function<void(const std::string &)> &Hook() {
  static std::function<void(const std::string &)> h;
  return h;
}
}  // namespace

bool ShellCanOpen(const std::string &Url) {
  for (unsigned char c : Url)
    if (c < 32 || c == 127)
      return false;
  std::string u = LowerCase(Url);
  for (const char *scheme : {"http://", "https://", "ftp://", "mailto:"}) {
    std::string s(scheme);
    if (u.size() > s.size() && u.compare(0, s.size(), s) == 0)
      return true;
  }
  return false;
}

bool ShellOpen(const std::string &Url) {
  if (!ShellCanOpen(Url))
    return false;
  if (Hook()) {
    Hook()(Url);
    return true;
  }
  return QProcess::startDetached(QStringLiteral("xdg-open"), QStringList{FromAnsi(Url)});
}

void SetShellOpenHook(std::function<void(const std::string &Url)> H) { Hook() = std::move(H); }

}  // namespace kv
