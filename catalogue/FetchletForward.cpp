// The file-fetching functions, passed through to libFetchlet.so. They call its
// internal names, so they can never bind to themselves.
#include "fetch/Fetchlet.h"
#include "platform/DynLoad.h"

#include <dlfcn.h>

#include <string>

namespace {

struct TFetchletEntry {
  kv::HMODULE Module = nullptr;
  TGetFileProc GetFile = nullptr;
  TTerminateFileGroupProc TerminateFileGroup = nullptr;
  TTerminateProcessesProc TerminateProcesses = nullptr;
  TSetFileGroupLimitsProc SetFileGroupLimits = nullptr;
  bool Tried = false;
};

TFetchletEntry Entry;

// The libraries ship together, so libFetchlet.so is looked for beside this
// library rather than beside whichever program loaded it.
std::string OwnFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void *>(&OwnFolder), &info) == 0 || !info.dli_fname)
    return std::string();
  const std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

const TFetchletEntry &Fetchlet() {
  if (Entry.Tried)
    return Entry;
  Entry.Tried = true;
  const std::string folder = OwnFolder();
  Entry.Module = folder.empty() ? kv::LoadLibrary("Fetchlet.dll") : kv::LoadLibrary(folder + "/libFetchlet.so");
  if (!Entry.Module)
    return Entry;
  Entry.GetFile = reinterpret_cast<TGetFileProc>(kv::GetProcAddress(Entry.Module, FETCHLET_INTERNAL_GETFILE));
  Entry.TerminateFileGroup =
      reinterpret_cast<TTerminateFileGroupProc>(kv::GetProcAddress(Entry.Module, FETCHLET_INTERNAL_TERMINATEFILEGROUP));
  Entry.TerminateProcesses =
      reinterpret_cast<TTerminateProcessesProc>(kv::GetProcAddress(Entry.Module, FETCHLET_INTERNAL_TERMINATEPROCESSES));
  Entry.SetFileGroupLimits =
      reinterpret_cast<TSetFileGroupLimitsProc>(kv::GetProcAddress(Entry.Module, FETCHLET_INTERNAL_SETFILEGROUPLIMITS));
  return Entry;
}

// Linked libraries go with the library that loaded them.
__attribute__((destructor)) void ReleaseFetchlet() {
  if (Entry.Module)
    kv::FreeLibrary(Entry.Module);
  Entry = TFetchletEntry();
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void GetFile(const char *URL, const char *FileName, const char *Host,
                                                    const char *Port, const char *User, const char *Password,
                                                    const char *ProxyHost, const char *ProxyPort, const char *ProxyUser,
                                                    const char *ProxyPassword, TGetFileDoneProc Callback,
                                                    bool UseProxy, intptr_t UserData, int32_t GroupId) {
  const TFetchletEntry &f = Fetchlet();
  if (f.GetFile) {
    f.GetFile(URL, FileName, Host, Port, User, Password, ProxyHost, ProxyPort, ProxyUser, ProxyPassword, Callback,
              UseProxy, UserData, GroupId);
    return;
  }
  // Without the library the fetch fails at once; the caller still hears of it.
  if (Callback) {
    try {
      Callback(0, UserData);
    } catch (...) {
    }
  }
}

__attribute__((visibility("default"))) void TerminateFileGroup(int32_t GroupId) {
  const TFetchletEntry &f = Fetchlet();
  if (f.TerminateFileGroup)
    f.TerminateFileGroup(GroupId);
}

__attribute__((visibility("default"))) void TerminateProcesses() {
  const TFetchletEntry &f = Fetchlet();
  if (f.TerminateProcesses)
    f.TerminateProcesses();
}

__attribute__((visibility("default"))) void SetFileGroupLimits(int32_t GroupId, uint64_t MaxReply,
                                                               int32_t NoDataSeconds, int32_t InAllSeconds) {
  const TFetchletEntry &f = Fetchlet();
  if (f.SetFileGroupLimits)
    f.SetFileGroupLimits(GroupId, MaxReply, NoDataSeconds, InAllSeconds);
}

}  // extern "C"
