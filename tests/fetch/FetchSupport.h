#pragma once
// The fetching library as its callers see it: loaded by name, bound by name,
// driven by the test's own event loop.
#include "fetch/Fetchlet.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kvtest {

// libFetchlet.so from the program folder, loaded for the object's life.
class TFetchlet {
public:
  explicit TFetchlet(const std::string &Path = KV_BIN_DIR "/libFetchlet.so");
  ~TFetchlet();
  TFetchlet(const TFetchlet &) = delete;
  TFetchlet &operator=(const TFetchlet &) = delete;
  bool Loaded() const { return FHandle != nullptr; }
  const std::string &Error() const { return FError; }
  void *Handle() const { return FHandle; }
  // dlclose now; false when dlclose failed.
  bool Unload();

  TGetFileProc GetFile = nullptr;
  TTerminateFileGroupProc TerminateFileGroup = nullptr;
  TTerminateProcessesProc TerminateProcesses = nullptr;
  TSetFileGroupLimitsProc SetFileGroupLimits = nullptr;

private:
  void *FHandle = nullptr;
  std::string FError;
};

// What one fetch reported. A test hands its address to GetFile as UserData.
struct TOutcome {
  int Calls = 0;
  int Success = -1;
  intptr_t UserData = 0;
  std::string Tag;
  // Runs inside the callback, after the call has been counted.
  std::function<void()> OnDone;
  // Makes the callback throw after counting.
  bool Throw = false;
};

// Every callback in the order it came, by tag.
std::vector<std::string> &CallbackLog();
// The callback for TOutcome user data.
void RecordDone(int32_t Success, intptr_t UserData);

// The arguments of one GetFile call.
struct TRequest {
  std::string URL, FileName, Host, Port, User, Password, ProxyHost, ProxyPort, ProxyUser, ProxyPassword;
  bool UseProxy = false;
  int32_t GroupId = 0;
};

void Start(const TFetchlet &F, const TRequest &R, TOutcome &Out);

// Pumps the event loop until Condition holds or TimeoutMs has passed.
bool Pump(const std::function<bool()> &Condition, int TimeoutMs = 20000);
// Pumps for a while whatever happens.
void PumpFor(int Ms);

// The files in Folder (not below it), by name, with their content: what a
// fetch left there, temporary files included whatever they are called. A
// content over 64 bytes reads "<N bytes, hash H>", so a failure stays short.
std::map<std::string, std::string> FolderFiles(const std::string &Folder);

// The request the library sends, line by line, with the trailing zero byte.
std::string ExpectedRequest(const std::string &Target, const std::vector<std::string> &AuthLines,
                            const std::string &Host);

}  // namespace kvtest
