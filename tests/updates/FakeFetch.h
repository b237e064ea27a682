#pragma once
// A stand-in for the fetching library: every GetFile is recorded, and the test
// decides when and how each fetch ends. A stop reports every running fetch of
// its group as failed, also those started from a callback during the stop.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fetch/Fetchlet.h"

namespace kvtest {

struct TFakeFetch {
  std::string URL, FileName, Host, Port, User, Password, ProxyHost;
  TGetFileDoneProc Callback = nullptr;
  bool UseProxy = false;
  intptr_t UserData = 0;
  int32_t Group = 0;
  bool Done = false;
  // The limits its group had when it started (all 0: never set).
  uint64_t MaxReply = 0;
  int32_t NoData = 0, InAll = 0;
};

struct TFakeFetchlet {
  std::vector<TFakeFetch> Fetches;
  // Fetches whose connection cannot start: they report failure inside GetFile.
  bool FailAtOnce = false;
  std::vector<int32_t> Stops;
  struct TLimits {
    uint64_t MaxReply = 0;
    int32_t NoData = 0, InAll = 0;
  };
  std::map<int32_t, TLimits> GroupLimits;

  static TFakeFetchlet &Instance();
  void Reset() { *this = TFakeFetchlet(); }
  // Ends fetch Index. Body is written to its file first on success, and on
  // failure when not empty (what a broken fetch leaves behind).
  void Finish(size_t Index, bool Success, const std::string &Body = "");
  size_t Running() const;
};

void FakeGetFile(const char *URL, const char *FileName, const char *Host, const char *Port, const char *User,
                 const char *Password, const char *ProxyHost, const char *ProxyPort, const char *ProxyUser,
                 const char *ProxyPassword, TGetFileDoneProc Callback, bool UseProxy, intptr_t UserData,
                 int32_t GroupId);
void FakeTerminateFileGroup(int32_t GroupId);
void FakeSetFileGroupLimits(int32_t GroupId, uint64_t MaxReply, int32_t NoData, int32_t InAll);

}  // namespace kvtest
