#include "platform/Dialogs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Paths.h"

namespace kv {

static TMessageBoxHook &Hook() {
  static TMessageBoxHook h;
  return h;
}

static std::string &Title() {
  static std::string t;
  return t;
}

void SetMessageBoxHook(TMessageBoxHook H) { Hook() = std::move(H); }

bool ScriptedDialogs() {
  const char *Mode = std::getenv("KORVANDEL_DIALOGS");
  return Mode && std::strcmp(Mode, "stderr") == 0;
}

int MessageBox(const std::string &Text, const std::string &Caption, unsigned Flags) {
  if (Hook())
    return Hook()(Text, Caption, Flags);
  std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
  unsigned kind = Flags & 0xF;
  return (kind == MB_YESNO || kind == MB_YESNOCANCEL) ? IDYES : IDOK;
}

void ShowMessage(const std::string &Text) { MessageBox(Text, Title(), MB_OK); }

void SetApplicationTitle(const std::string &T) { Title() = T; }

std::string ApplicationTitle() { return Title(); }

static TSaveDialogHook &SaveHook() {
  static TSaveDialogHook h;
  return h;
}

void SetSaveDialogHook(TSaveDialogHook H) { SaveHook() = std::move(H); }

bool TSaveDialog::Execute() {
  if (!SaveHook()) {
    std::fprintf(stderr, "%s: no file dialog, cancelled\n", Title.c_str());
    return false;
  }
  if (!SaveHook()(*this))
    return false;
  InitialDir = ExtractFileDir(FileName);
  return true;
}

}  // namespace kv
