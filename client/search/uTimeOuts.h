#pragma once
// The time-out timer: each tick ends at most one kind of conversation that
// ran past its limit (the logon, else the connectivity check, else the
// request sockets of the search). The decisions are plain functions; the
// tick reads the time through a clock that tests drive.
#include <functional>
#include <string>

#include "client/uTimeLimits.h"
#include "platform/DateTime.h"

class TSearchEngine;

namespace kv {
class TTambleSocket;
}

enum class TBranch { Logon, Nothing, Check, Sockets };
// Which conversation a tick serves. The logon is served only once it has
// really started; before that the others keep their limits.
TBranch ChooseBranch(bool LogonActive, kv::TDateTime LogonStartTime, bool ShortagesUnderWay, bool CheckWaiting);

// A request socket under watch: SiteIndex set and StartTime set.
bool Watched(const kv::TTambleSocket &S);

struct TTimeOutEvents {
  std::function<void()> StopTimer;
  std::function<void()> CloseWindow;
  std::function<bool()> MessageDebugMode;
  std::function<void(const std::string &Text)> SetSearchStatus;
};

// One tick of the timer. Server or Search may be null.
void TimeOutTick(const TServerTimeOuts *Server, TSearchEngine *Search, const TClock &Clock,
                 const TTimeOutEvents &Events);
