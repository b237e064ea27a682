#include "client/uStartup.h"

#include <QApplication>
#include <QMessageBox>

#include "client/window/uproof.h"
#include "platform/Dialogs.h"
#include "platform/NamedMutex.h"
#include "platform/Paths.h"
#include "platform/qt/Codepage.h"
#include "platform/qt/WindowSearch.h"

using namespace kv;

const char *const OneCopyMutexName = "TWMutexForOneCopy";
const char *const LauncherSwitch = "QZBOOTSTRAPPED";
const char *const LauncherFile = "Korvandel";
const char *const DownloadedLauncherFile = "Download\\Korvandel";

TOneCopyResult CheckOneCopy(TNamedMutex &Mutex) {
  if (!Mutex.Wait(10000))
    return ocMutexTimedOut;
  if (KnockOnWindow(MainWindowClass, MainWindowTitle, 5000))
    return ocOtherCopyShown;
  return ocFirstCopy;
}

bool HasLauncherSwitch(const std::vector<std::string> &Arguments) {
  for (const std::string &A : Arguments)
    if (A == LauncherSwitch)
      return true;
  return false;
}

bool ReplaceLauncher(const std::string &ProgramFolder) {
  const std::string Download = ProgramFolder + DownloadedLauncherFile;
  const std::string Launcher = ProgramFolder + LauncherFile;
  if (!FileExists(Download))
    return false;
  // A launcher that cannot be written stays; the download waits for the next
  // start. (The rename below would replace it all the same.)
  const bool Exists = FileExists(Launcher);
  if (Exists && FileIsReadOnly(Launcher))
    return false;
  std::string Data;
  if (!ReadFileToString(Download, Data))
    return false;
  // An interrupted copy must never leave a truncated launcher: the new one
  // is written beside it and renamed over it, with the old one's mode.
  if (!WriteFileAtomic(Launcher, Data, Exists ? -1 : 0755))
    return false;
  DeleteFile(Download);
  return true;
}

namespace {

int QtMessageBox(const std::string &Text, const std::string &Caption, unsigned Flags) {
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  switch (Flags & 0xF0) {
  case MB_ICONERROR: Icon = QMessageBox::Critical; break;
  case MB_ICONQUESTION: Icon = QMessageBox::Question; break;
  case MB_ICONWARNING: Icon = QMessageBox::Warning; break;
  case MB_ICONINFORMATION: Icon = QMessageBox::Information; break;
  default: break;
  }
  QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
  switch (Flags & 0x0F) {
  case MB_OKCANCEL: Buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
  case MB_YESNOCANCEL: Buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
  case MB_YESNO: Buttons = QMessageBox::Yes | QMessageBox::No; break;
  default: break;
  }
  QString Shown = FromAnsi(Text);
  Shown.replace("\r\n", "\n");
  QMessageBox Box(Icon, FromAnsi(Caption), Shown, Buttons, QApplication::activeWindow());
  // Texts can come from the maker's server or a shop: shown as they are,
  // never read as markup.
  Box.setTextFormat(Qt::PlainText);
  switch (Box.exec()) {
  case QMessageBox::Cancel: return IDCANCEL;
  case QMessageBox::Yes: return IDYES;
  case QMessageBox::No: return IDNO;
  default: return IDOK;
  }
}

}  // namespace

void BindMessageBoxes() {
  if (ScriptedDialogs())
    SetMessageBoxHook({});
  else
    SetMessageBoxHook(QtMessageBox);
}
