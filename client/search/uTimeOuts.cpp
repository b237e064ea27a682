#include "client/search/uTimeOuts.h"

#include <vector>

#include "client/search/uSearch.h"
#include "common/Common.h"
#include "net/cTambSoc.h"
#include "platform/SysUtils.h"

using namespace kv;

TBranch ChooseBranch(bool LogonActive, TDateTime LogonStartTime, bool ShortagesUnderWay, bool CheckWaiting) {
  if (LogonActive && LogonStartTime != 0)
    return TBranch::Logon;
  if (ShortagesUnderWay)
    return TBranch::Nothing;
  if (CheckWaiting)
    return TBranch::Check;
  return TBranch::Sockets;
}

bool Watched(const TTambleSocket &S) { return S.SiteIndex != -1 && S.StartTime != 0; }

namespace {

void Stop(const TTimeOutEvents &E) {
  if (E.StopTimer)
    E.StopTimer();
}

bool Ask(const std::function<bool()> &F) { return F && F(); }

void LogonTick(const TServerTimeOuts &Server, const TClock &Clock, const TTimeOutEvents &E) {
  if (!Server.EndOverdueLogon || !Server.EndOverdueLogon(Clock.Now()))
    return;
  Stop(E);
  if (Server.LogonLost)
    Server.LogonLost();
  if (E.CloseWindow)
    E.CloseWindow();
}

void CheckTick(const TServerTimeOuts &Server, const TClock &Clock, const TTimeOutEvents &E) {
  if (Server.EndOverdueCheck && Server.EndOverdueCheck(Clock.Now()))
    Stop(E);
}

std::string ElapsedText(TDateTime Elapsed) {
  return Elapsed >= 1 ? FormatDateTime("dd/mm/yyyy hh:mm:ss", Elapsed) : FormatDateTime("hh:mm:ss", Elapsed);
}

// A socket as the tick found it before ending any.
struct TWatch {
  TTambleSocket *S;
  TDateTime StartTime;
  bool More;
  size_t Index;
};

void SocketsTick(TSearchEngine &Search, const TClock &Clock, const TTimeOutEvents &E) {
  const bool Debug = E.MessageDebugMode && E.MessageDebugMode();
  // Ending a socket starts the next sites, possibly on sockets still to be
  // visited: only those watched when the tick began are judged, and only
  // while they still run the same start. Ending one also pumps messages: a
  // new search may start in between, and its sockets are not this tick's.
  const uint64_t Generation = Search.Generation();
  std::vector<TWatch> Watch;
  for (const bool More : {false, true}) {
    const std::vector<TTambleSocket *> &Pool = More ? Search.MorePool : Search.SitePool;
    for (size_t I = 0; I < Pool.size(); ++I)
      if (Watched(*Pool[I]))
        Watch.push_back({Pool[I], Pool[I]->StartTime, More, I});
  }
  for (const TWatch &W : Watch) {
    if (Search.Generation() != Generation)
      return;
    TTambleSocket *S = W.S;
    if (!Watched(*S) || S->StartTime != W.StartTime)
      continue;
    const TDateTime Now = Clock.Now();
    const int Site = S->SiteIndex;
    if (Debug)
      Log(FormatDateTime("dd/mm/yyyy hh:mm:ss", Now) + " - " + IntToStr(Search.ActiveCount()) + " - " +
          FormatDateTime("dd/mm/yyyy hh:mm:ss", S->StartTime) + " - " + ElapsedText(Now - S->StartTime) + " - " +
          Search.SiteName(Site) + " (" + IntToStr(static_cast<int>(W.Index)) + ")");
    // A page being read is work under way, whatever its age.
    const TVerdict V = S->Parsing ? TVerdict::Running : Judge(S->StartTime, Now, S->DataReceived, SocketLimits);
    if (V == TVerdict::Running)
      continue;
    Search.EndTimedOut(S);
    if (Debug && E.SetSearchStatus) {
      const std::string Kind = V == TVerdict::NoDataExceeded ? "TimeOut - No Data" : "TimeOut - Data";
      E.SetSearchStatus((W.More ? "((more)" : "(") + Kind + ")Closing " + Search.SiteName(Site));
    }
  }
}

}  // namespace

void TimeOutTick(const TServerTimeOuts *Server, TSearchEngine *Search, const TClock &Clock,
                 const TTimeOutEvents &E) {
  const bool LogonActive = Server && Ask(Server->LogonActive);
  const TDateTime LogonStart = Server && Server->LogonStartTime ? Server->LogonStartTime() : 0;
  switch (ChooseBranch(LogonActive, LogonStart, Server && Ask(Server->ShortagesUnderWay),
                       Server && Ask(Server->CheckWaiting))) {
  case TBranch::Logon:
    LogonTick(*Server, Clock, E);
    break;
  case TBranch::Nothing:
    break;
  case TBranch::Check:
    CheckTick(*Server, Clock, E);
    break;
  case TBranch::Sockets:
    if (Search)
      SocketsTick(*Search, Clock, E);
    break;
  }
}
