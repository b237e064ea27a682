#include "client/search/uTimeOuts.h"

#include <vector>

#include "client/search/uSearch.h"
#include "client/server/uServer.h"
#include "common/Common.h"
#include "net/cTambSoc.h"
#include "platform/Dialogs.h"
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

void LogonTick(TServerSession &Server, const TClock &Clock, const TTimeOutEvents &E) {
  Server.LogonTimedOut = false;
  if (!Server.SockValidate.Overdue(Clock.Now()))
    return;
  Server.SockValidate.Close();
  Server.SockValidate.DataReceived = false;
  Server.SockValidate.StartTime = 0;
  Stop(E);
  Server.LogonTimedOut = true;
  Server.LogonActive = false;
  MessageBox(LogonLostText, ApplicationTitle(), MB_OK | MB_ICONWARNING);
  if (E.CloseWindow)
    E.CloseWindow();
}

void CheckTick(TServerSession &Server, const TClock &Clock, const TTimeOutEvents &E) {
  Server.CheckTimedOut = false;
  if (!Server.SockCheckConnect.Overdue(Clock.Now()))
    return;
  Server.EndCheck(true);
  Stop(E);
}

std::string ElapsedText(TDateTime Elapsed) {
  return Elapsed >= 1 ? FormatDateTime("dd/mm/yyyy hh:mm:ss", Elapsed) : FormatDateTime("hh:mm:ss", Elapsed);
}

void SocketsTick(TSearchEngine &Search, const TClock &Clock, const TTimeOutEvents &E) {
  const bool Debug = E.MessageDebugMode && E.MessageDebugMode();
  // Ending a socket runs the engine's handlers, which pump messages: a new
  // search may start in between, and its sockets are not this tick's.
  const uint64_t Generation = Search.Generation();
  bool Running = false;
  for (const bool More : {false, true}) {
    const std::vector<TTambleSocket *> &Pool = More ? Search.MorePool : Search.SitePool;
    for (size_t I = 0; I < Pool.size(); ++I) {
      if (Search.Generation() != Generation)
        return;
      TTambleSocket *S = Pool[I];
      if (!Watched(*S))
        continue;
      const TDateTime Now = Clock.Now();
      const int Site = S->SiteIndex;
      if (Debug)
        Log(FormatDateTime("dd/mm/yyyy hh:mm:ss", Now) + " - " + IntToStr(Search.ActiveCount) + " - " +
            FormatDateTime("dd/mm/yyyy hh:mm:ss", S->StartTime) + " - " + ElapsedText(Now - S->StartTime) + " - " +
            Search.SiteName(Site) + " (" + IntToStr(static_cast<int>(I)) + ")");
      // A page being read is work under way, whatever its age.
      const TVerdict V = S->Parsing ? TVerdict::Running : Judge(S->StartTime, Now, S->DataReceived, SocketLimits);
      if (V == TVerdict::Running) {
        Running = true;
        continue;
      }
      Search.EndTimedOut(S);
      if (Debug && E.SetSearchStatus) {
        const std::string Kind = V == TVerdict::NoDataExceeded ? "TimeOut - No Data" : "TimeOut - Data";
        E.SetSearchStatus((More ? "((more)" : "(") + Kind + ")Closing " + Search.SiteName(Site));
      }
    }
  }
  if (!Running && Search.ActiveCount > 0 && Search.Generation() == Generation)
    Search.SetActiveSites(0);
}

}  // namespace

void TimeOutTick(TServerSession *Server, TSearchEngine *Search, const TClock &Clock, const TTimeOutEvents &E) {
  switch (ChooseBranch(Server && Server->LogonActive, Server ? Server->SockValidate.StartTime : 0,
                       Server && Server->ShortagesBusy,
                       Server && Server->Waiting)) {
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
