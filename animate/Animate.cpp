// The animation server. "REGSERVER" and "UNREGSERVER" write or remove its
// registration and end; "AUTOMATION" or "EMBEDDING" mark a start for a client,
// after which the server ends with its last object; any other start
// registers and runs. A server whose bus has gone ends, however started.
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "animate/fAnimate.h"
#include "animate/uAnimate.h"
#include "platform/automation/AutomationServer.h"

namespace {

// How long a server started for a client waits for it to ask for an object.
constexpr int UnusedLimitMs = 5000;

bool HasSwitch(int argc, char **argv, const char *Name) {
  for (int i = 1; i < argc; ++i)
    if ((argv[i][0] == '-' || argv[i][0] == '/') && strcasecmp(argv[i] + 1, Name) == 0)
      return true;
  return false;
}

}  // namespace

int main(int argc, char **argv) {
  const kv::TClassInfo Info = AnimatorClassInfo();
  if (HasSwitch(argc, argv, "REGSERVER")) {
    if (kv::RegisterClassKeys(Info))
      return 0;
    fprintf(stderr, "Animate: the registration could not be written\n");
    return 1;
  }
  if (HasSwitch(argc, argv, "UNREGSERVER")) {
    if (kv::UnregisterClassKeys(Info))
      return 0;
    fprintf(stderr, "Animate: the registration could not be removed\n");
    return 1;
  }
  const bool ForClient = HasSwitch(argc, argv, "AUTOMATION") || HasSwitch(argc, argv, "EMBEDDING");
  if (!ForClient)
    kv::RegisterClassKeys(Info);

  QApplication App(argc, argv);
  App.setQuitOnLastWindowClosed(false);
  TfrmAnimate frmAnimate;  // never shown
  kv::TAutomationServer Server(Info.CLSID, [&frmAnimate] { return std::make_shared<TTAnimator>(frmAnimate); });
  std::string Error;
  if (!Server.Start(Error)) {
    fprintf(stderr, "Animate: %s\n", Error.c_str());
    return 1;
  }
  // exit, not quit: quit first asks every window to close, and a panel
  // lent to a client's window may refuse, which cancels the quit.
  Server.OnBusLost = [] { QCoreApplication::exit(0); };
  if (ForClient) {
    Server.OnLastRelease = [&Server] {
      // Give the name up first, so a new client starts a fresh server.
      Server.Stop();
      QCoreApplication::exit(0);
    };
    Server.EndWhenUnused(UnusedLimitMs);
  }
  return App.exec();
}
