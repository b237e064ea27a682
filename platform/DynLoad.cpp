#include "platform/DynLoad.h"

#include <dlfcn.h>

#include <filesystem>

#include "platform/Paths.h"
#include "platform/SysUtils.h"

namespace kv {

// A plain buffer: a thread-local with a destructor would pin every library
// that carries this file in memory, so it could never be unloaded.
static thread_local char LoadErrorText[1024];

static void SetLoadError(const std::string &Text) {
  size_t n = Text.size() < sizeof LoadErrorText - 1 ? Text.size() : sizeof LoadErrorText - 1;
  Text.copy(LoadErrorText, n);
  LoadErrorText[n] = 0;
}

static std::string ModulePath(const std::string &Name) {
  bool bare = Name.find_first_of("\\/") == std::string::npos;
  if (bare && Name.size() > 4 && SameText(Name.substr(Name.size() - 4), ".dll"))
    return ResolvePath(ProgramFolder() + "/lib" + Name.substr(0, Name.size() - 4) + ".so");
  std::string p = ResolvePath(Name);
  // A relative name means the file here. The loader knows a module by the
  // name it was opened with, so a relative one would find a module of that
  // name opened from another folder: the name is made absolute.
  if (!p.empty() && p[0] != '/') {
    std::error_code E;
    const std::filesystem::path Here = std::filesystem::current_path(E);
    p = E ? "./" + p : (Here / p).string();
  }
  return p;
}

HMODULE LoadLibrary(const std::string &Name) {
  const std::string path = ModulePath(Name);
  dlerror();
  void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char *e = dlerror();
    SetLoadError(e ? e : ("cannot load " + path));
  }
  return h;
}

void *GetProcAddress(HMODULE Module, const std::string &ProcName) {
  if (!Module) {
    SetLoadError("no module for " + ProcName);
    return nullptr;
  }
  dlerror();
  void *p = dlsym(Module, ProcName.c_str());
  if (!p) {
    const char *e = dlerror();
    SetLoadError(e ? e : ("undefined symbol: " + ProcName));
  }
  return p;
}

bool FreeLibrary(HMODULE Module) { return Module && dlclose(Module) == 0; }

std::string LastLoadError() { return LoadErrorText; }

}  // namespace kv
