#pragma once
// Opening addresses with the desktop's handler. Only http, https, ftp and
// mailto addresses are handed over, as one argument to xdg-open and never
// through a shell, so text from a shop page cannot run anything.
#include <functional>
#include <string>

namespace kv {

// True when Url starts with an allowed scheme and holds no control bytes.
bool ShellCanOpen(const std::string &Url);
// True when the address was handed over (not whether a handler took it).
bool ShellOpen(const std::string &Url);
// Tests: while set, an allowed address goes to the hook instead of xdg-open.
void SetShellOpenHook(std::function<void(const std::string &Url)> Hook);

}  // namespace kv
