// The client program: one copy at a time, started by the launcher, the
// splash form while the forms are created, then the message loop.
#include <QApplication>

#include <cstdio>
#include <exception>

#include "client/window/FStat.h"
#include "client/window/FStop.h"
#include "client/uApplication.h"
#include "client/uStartup.h"
#include "client/window/uproof.h"
#include "client/window/usplash.h"
#include "platform/Dialogs.h"
#include "platform/NamedMutex.h"
#include "platform/Paths.h"
#include "platform/gui/FileDialogs.h"
#include "platform/qt/Messages.h"

namespace {

class TApplication : public QApplication {
public:
  using QApplication::QApplication;
  bool notify(QObject *Receiver, QEvent *Event) override {
    return kv::NotifyReporting([&] { return QApplication::notify(Receiver, Event); });
  }
};

int Run(int argc, char **argv) {
  TApplication App(argc, argv);
  for (int I = 1; I < argc; ++I)
    CommandLineArguments().push_back(argv[I]);
  kv::SetApplicationTitle(MainWindowTitle);
  BindMessageBoxes();
  // A scripted run has nobody to choose a file: its save dialogs cancel.
  if (!kv::ScriptedDialogs())
    kv::SetSaveDialogHook(kv::QtSaveDialog);

  // Another copy running, or starting, is the one the user gets: not a
  // failure of this start.
  kv::TNamedMutex Mutex(OneCopyMutexName);
  if (CheckOneCopy(Mutex) != ocFirstCopy)
    return 0;
  if (!HasLauncherSwitch(CommandLineArguments())) {
    kv::MessageBox("Please run Korvandel.exe", kv::ApplicationTitle(), kv::MB_OK | kv::MB_ICONINFORMATION);
    return 1;
  }
  ReplaceLauncher(kv::IncludeTrailingBackslash(kv::ProgramFolder()));

  App.setApplicationName(MainWindowTitle);
  App.setQuitOnLastWindowClosed(false);
  frmSplash = new TfrmSplash();
  frmSplash->show();
  kv::ProcessMessages();

  TfrmMain *Main = nullptr;
  try {
    frmStatistics = new TfrmStatistics();
    Main = new TfrmMain();
    frmStop = new TfrmStop();
    Main->setWindowTitle(MainWindowTitle);
  } catch (...) {
    // A damaged registry file, say: reported, and left as it is.
    kv::HandleException();
  }
  if (Main)
    Main->CreateHandle();
  else
    RequestTerminate(true);
  Mutex.Release();
  delete frmSplash;
  frmSplash = nullptr;

  if (Main && !TerminateRequested()) {
    Main->show();
    try {
      App.exec();
    } catch (...) {
    }
  }
  delete frmStop;
  frmStop = nullptr;
  delete Main;
  delete frmStatistics;
  frmStatistics = nullptr;
  return ExitStatus();
}

}  // namespace

// What escapes the start-up (a runtime folder that is not private, for one)
// ends the program with its reason rather than an abort.
int main(int argc, char **argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception &E) {
    std::fprintf(stderr, "%s: %s\n", MainWindowTitle, E.what());
  } catch (...) {
    std::fprintf(stderr, "%s: start-up failed\n", MainWindowTitle);
  }
  return 1;
}
