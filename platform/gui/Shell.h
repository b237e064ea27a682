#pragma once
// Opening addresses and files with the desktop's handler, and starting a
// program. Everything goes to the program as an argument list (xdg-open for
// the handler), never through a shell, so text from a shop page cannot run
// anything or become an option.
#include <functional>
#include <string>
#include <vector>

namespace kv {

// True when Text holds a control byte (below 32, or 127); such text is
// never handed to another program.
bool HasControlBytes(const std::string &Text);
// True for an http, https or mailto address (any case) with something after
// the scheme and no control bytes.
bool ShellCanOpen(const std::string &Url);
// Opens an address that ShellCanOpen allows; true when it was handed over
// (not whether a handler took it).
bool ShellOpen(const std::string &Url);
// Opens an existing local file given by its absolute path; the caller decides
// which files may be opened.
bool ShellOpenFile(const std::string &Path);
// Starts Program with each of Arguments as one argument in WorkingDir (empty:
// the current folder), detached; true when it started.
bool StartProgram(const std::string &Program, const std::vector<std::string> &Arguments,
                  const std::string &WorkingDir);

// Tests: while set, what would go to xdg-open goes to the hook instead.
void SetShellOpenHook(std::function<void(const std::string &Target)> Hook);
// Tests: while set, StartProgram asks the hook instead of starting anything.
using TStartProgramHook = std::function<bool(const std::string &Program, const std::vector<std::string> &Arguments,
                                             const std::string &WorkingDir)>;
void SetStartProgramHook(TStartProgramHook Hook);

}  // namespace kv
