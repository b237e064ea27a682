#pragma once
// The time-out timer: each tick ends at most one kind of conversation that
// ran past its limit (the logon, else the connectivity check, else the
// request sockets of the search). The decisions are plain functions; the
// tick reads the time through a clock that tests drive.
#include <functional>
#include <string>

#include "platform/DateTime.h"

class TServerSession;
class TSearchEngine;

namespace kv {
class TTambleSocket;
}

class TClock {
public:
  virtual ~TClock() = default;
  virtual kv::TDateTime Now() const = 0;
};

class TSystemClock : public TClock {
public:
  kv::TDateTime Now() const override { return kv::Now(); }
};

// Limits in seconds: while no data has arrived, and in any case.
struct TTimeLimits {
  int NoData;
  int InAll;
};
inline constexpr TTimeLimits LogonLimits{90, 120};
inline constexpr TTimeLimits CheckLimits{30, 60};
inline constexpr TTimeLimits SocketLimits{50, 180};

// Whole milliseconds from Start to Now, so a limit is compared exactly.
long long ElapsedMs(kv::TDateTime Start, kv::TDateTime Now);

enum class TVerdict { Running, NoDataExceeded, InAllExceeded };
// Strictly greater than a limit exceeds it.
TVerdict Judge(kv::TDateTime Start, kv::TDateTime Now, bool DataReceived, TTimeLimits Limits);

enum class TBranch { Logon, Nothing, Check, Sockets };
// Which conversation a tick serves. The logon is served only once it has
// really started; before that the others keep their limits.
TBranch ChooseBranch(bool LogonActive, kv::TDateTime LogonStartTime, bool ShortagesUnderWay, bool CheckWaiting);

// A request socket under watch: SiteIndex set and StartTime set.
bool Watched(const kv::TTambleSocket &S);

inline constexpr const char *LogonLostText =
    "The connection with the the server was lost.\n\rPlease try to connect again later.";

struct TTimeOutEvents {
  std::function<void()> StopTimer;
  std::function<void()> CloseWindow;
  std::function<bool()> ShortagesUnderWay;
  std::function<bool()> MessageDebugMode;
  std::function<void(const std::string &Text)> SetSearchStatus;
};

// One tick of the timer. Server or Search may be null.
void TimeOutTick(TServerSession *Server, TSearchEngine *Search, const TClock &Clock, const TTimeOutEvents &Events);
