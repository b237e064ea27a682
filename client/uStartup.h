#pragma once
// The steps of the program's start-up that decide whether it goes on.
#include <string>
#include <vector>

namespace kv {
class TNamedMutex;
}

extern const char *const OneCopyMutexName;
extern const char *const LauncherSwitch;
// The launcher in the program folder and its downloaded replacement.
extern const char *const LauncherFile;
extern const char *const DownloadedLauncherFile;

enum TOneCopyResult {
  ocFirstCopy,      // go on, holding Mutex
  ocMutexTimedOut,  // end silently
  ocOtherCopyShown  // the running copy was asked to show itself; end
};
// Waits up to 10 s for the mutex, then knocks on a running main window.
TOneCopyResult CheckOneCopy(kv::TNamedMutex &Mutex);
// "QZBOOTSTRAPPED" anywhere among the arguments, exactly.
bool HasLauncherSwitch(const std::vector<std::string> &Arguments);
// Puts a downloaded launcher in place through a temporary file and a rename,
// keeping the old launcher's mode bits, and deletes the download once it is
// in place; a read-only launcher stays, and so does the download.
// ProgramFolder ends with a separator. False when nothing changed.
bool ReplaceLauncher(const std::string &ProgramFolder);
// Message boxes become Qt dialogs, for the client and the catalogue's hook;
// in a scripted run (kv::ScriptedDialogs) they stay on standard error.
void BindMessageBoxes();
