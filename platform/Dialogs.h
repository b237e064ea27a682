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
int MessageBox(const std::string &Text, const std::string &Caption, unsigned Flags);
// The class library's ShowMessage: the application title as caption, OK only.
void ShowMessage(const std::string &Text);
void SetApplicationTitle(const std::string &Title);
std::string ApplicationTitle();

}  // namespace kv
