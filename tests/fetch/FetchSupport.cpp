#include "tests/fetch/FetchSupport.h"
#include "tests/support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>

namespace kvtest {

TFetchlet::TFetchlet(const std::string &Path) {
  FHandle = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!FHandle) {
    const char *e = dlerror();
    FError = e ? e : "dlopen failed";
    return;
  }
  GetFile = reinterpret_cast<TGetFileProc>(dlsym(FHandle, FETCHLET_GETFILE));
  TerminateFileGroup = reinterpret_cast<TTerminateFileGroupProc>(dlsym(FHandle, FETCHLET_TERMINATEFILEGROUP));
  TerminateProcesses = reinterpret_cast<TTerminateProcessesProc>(dlsym(FHandle, FETCHLET_TERMINATEPROCESSES));
  SetFileGroupLimits = reinterpret_cast<TSetFileGroupLimitsProc>(dlsym(FHandle, FETCHLET_SETFILEGROUPLIMITS));
  if (!GetFile || !TerminateFileGroup || !TerminateProcesses || !SetFileGroupLimits)
    FError = "an export is missing";
}

TFetchlet::~TFetchlet() { Unload(); }

bool TFetchlet::Unload() {
  if (!FHandle)
    return true;
  void *h = FHandle;
  FHandle = nullptr;
  GetFile = nullptr;
  TerminateFileGroup = nullptr;
  TerminateProcesses = nullptr;
  SetFileGroupLimits = nullptr;
  return dlclose(h) == 0;
}

std::vector<std::string> &CallbackLog() {
  static std::vector<std::string> log;
  return log;
}

void RecordDone(int32_t Success, intptr_t UserData) {
  auto *out = reinterpret_cast<TOutcome *>(UserData);
  ++out->Calls;
  out->Success = Success;
  out->UserData = UserData;
  CallbackLog().push_back(out->Tag);
  if (out->OnDone)
    out->OnDone();
  if (out->Throw)
    throw std::runtime_error("callback fails");
}

void Start(const TFetchlet &F, const TRequest &R, TOutcome &Out) {
  F.GetFile(R.URL.c_str(), R.FileName.c_str(), R.Host.c_str(), R.Port.c_str(), R.User.c_str(), R.Password.c_str(),
            R.ProxyHost.c_str(), R.ProxyPort.c_str(), R.ProxyUser.c_str(), R.ProxyPassword.c_str(), RecordDone,
            R.UseProxy, reinterpret_cast<intptr_t>(&Out), R.GroupId);
}

bool Pump(const std::function<bool()> &Condition, int TimeoutMs) {
  QElapsedTimer clock;
  clock.start();
  QTimer tick;
  tick.start(5);
  while (!Condition()) {
    if (clock.elapsed() >= TimeoutMs)
      return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void PumpFor(int Ms) {
  QElapsedTimer clock;
  clock.start();
  Pump([&] { return clock.elapsed() >= Ms; }, Ms + 1000);
}

std::map<std::string, std::string> FolderFiles(const std::string &Folder) {
  std::map<std::string, std::string> Files;
  std::error_code Error;
  for (const auto &E : std::filesystem::directory_iterator(Folder, Error)) {
    if (!E.is_regular_file())
      continue;
    std::string Content = ReadFile(E.path().string());
    if (Content.size() > 64)
      Content = "<" + std::to_string(Content.size()) + " bytes, hash " +
                std::to_string(std::hash<std::string>()(Content)) + ">";
    Files[E.path().filename().string()] = Content;
  }
  return Files;
}

std::string ExpectedRequest(const std::string &Target, const std::vector<std::string> &AuthLines,
                            const std::string &Host) {
  std::string r = "GET " + Target + " HTTP/1.0\r\n"
                  "Accept: image/gif\r\n"
                  "Accept: image/x-xbitmap\r\n"
                  "Accept: image/jpeg\r\n"
                  "Accept: image/pjpeg\r\n"
                  "Accept: */*\r\n"
                  "Accept-CharSet: iso-8859-1,*,utf-8\r\n"
                  "Accept-Language: en\r\n";
  for (const auto &line : AuthLines)
    r += line + "\r\n";
  r += "Host: " + Host + "\r\n";
  r += "User-Agent: Mozilla/4.0b4 [en] (Win95; I)\r\n\r\n";
  r.push_back('\0');
  return r;
}

}  // namespace kvtest
