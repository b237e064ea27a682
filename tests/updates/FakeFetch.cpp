#include "tests/updates/FakeFetch.h"

#include "tests/support/TestEnv.h"

namespace kvtest {

TFakeFetchlet &TFakeFetchlet::Instance() {
  static TFakeFetchlet F;
  return F;
}

void TFakeFetchlet::Finish(size_t Index, bool Success, const std::string &Body) {
  TFakeFetch &F = Fetches.at(Index);
  if (F.Done)
    return;
  F.Done = true;
  if (Success || !Body.empty())
    WriteFile(F.FileName, Body);
  const TGetFileDoneProc Callback = F.Callback;
  const intptr_t UserData = F.UserData;
  Callback(Success ? 1 : 0, UserData);
}

size_t TFakeFetchlet::Running() const {
  size_t N = 0;
  for (const TFakeFetch &F : Fetches)
    N += !F.Done;
  return N;
}

void FakeGetFile(const char *URL, const char *FileName, const char *Host, const char *Port, const char *User,
                 const char *Password, const char *ProxyHost, const char *, const char *, const char *,
                 TGetFileDoneProc Callback, bool UseProxy, intptr_t UserData, int32_t GroupId) {
  TFakeFetchlet &L = TFakeFetchlet::Instance();
  const TFakeFetchlet::TLimits Limits = L.GroupLimits[GroupId];
  L.Fetches.push_back({URL, FileName, Host, Port, User, Password, ProxyHost, Callback, UseProxy, UserData, GroupId,
                       false, Limits.MaxReply, Limits.NoData, Limits.InAll});
  if (L.FailAtOnce)
    L.Finish(L.Fetches.size() - 1, false);
}

void FakeSetFileGroupLimits(int32_t GroupId, uint64_t MaxReply, int32_t NoData, int32_t InAll) {
  TFakeFetchlet::Instance().GroupLimits[GroupId] = {MaxReply, NoData, InAll};
}

void FakeTerminateFileGroup(int32_t GroupId) {
  TFakeFetchlet &L = TFakeFetchlet::Instance();
  L.Stops.push_back(GroupId);
  for (bool Found = true; Found;) {
    Found = false;
    for (size_t I = 0; I < L.Fetches.size(); ++I)
      if (!L.Fetches[I].Done && L.Fetches[I].Group == GroupId) {
        L.Finish(I, false);
        Found = true;
        break;
      }
  }
}

}  // namespace kvtest
