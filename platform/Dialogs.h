#pragma once
// Message boxes behind one hook: the client binds it to real dialogs, tests to
// a recorder; with no hook bound the text goes to standard error and the
// default button is taken.
#include <functional>
#include <string>

namespace kv {

constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_YESNOCANCEL = 0x3;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

using TMessageBoxHook = std::function<int(const std::string &Text, const std::string &Caption, unsigned Flags)>;

// Replaces the hook of this module; an empty hook restores the default.
void SetMessageBoxHook(TMessageBoxHook Hook);
// Whether the run is scripted ($KORVANDEL_DIALOGS is "stderr"): its message
// boxes stay on standard error, and nobody is there to fill in a form.
bool ScriptedDialogs();
int MessageBox(const std::string &Text, const std::string &Caption, unsigned Flags);
// The class library's ShowMessage: the application title as caption, OK only.
void ShowMessage(const std::string &Text);
void SetApplicationTitle(const std::string &Title);
std::string ApplicationTitle();

// The class library's save dialog as a form keeps it: what it shows, and what
// it remembers from one use to the next (the filter chosen last, the folder).
struct TSaveDialog {
  std::string Title;
  // Pairs of description and pattern: "Text File (*.TXT)|*.TXT|...".
  std::string Filter;
  int FilterIndex = 1;  // from 1
  std::string InitialDir;
  std::string FileName;
  bool OverwritePrompt = false;  // ask before the chosen file is replaced
  // Shows the dialog through the hook; false when cancelled. On OK FileName
  // and FilterIndex hold the choice and InitialDir the chosen file's folder.
  bool Execute();
};

using TSaveDialogHook = std::function<bool(TSaveDialog &Dialog)>;
// Replaces the save dialog of this module; an empty hook restores the default,
// which names the dialog on standard error and cancels it.
void SetSaveDialogHook(TSaveDialogHook Hook);

}  // namespace kv
