#pragma once
// The time limits of the conversations, and the clock they are measured by.
// The time-out timer and the connectivity check's own wait judge by the same
// rules; tests drive the clock.
#include <cmath>
#include <functional>

#include "platform/DateTime.h"
#include "platform/Limits.h"

class TClock {
public:
  virtual ~TClock() = default;
  virtual kv::TDateTime Now() const = 0;
};

class TSystemClock : public TClock {
public:
  kv::TDateTime Now() const override { return kv::Now(); }
};

// The time limits of the conversations the time-out timer watches, from the
// one table of limits.
using kv::TTimeLimits;
inline constexpr TTimeLimits LogonLimits = kv::limits::Logon.Time;
inline constexpr TTimeLimits CheckLimits = kv::limits::Check.Time;
inline constexpr TTimeLimits SocketLimits = kv::limits::ShopPage.Time;
// Each of the two requests of the shortages exchange.
inline constexpr TTimeLimits ShortagesLimits = kv::limits::ShortagesForm.Time;

// Whole milliseconds from Start to Now, so a limit is compared exactly.
inline long long ElapsedMs(kv::TDateTime Start, kv::TDateTime Now) {
  return std::llround((Now - Start) * 86400000.0);
}

enum class TVerdict { Running, NoDataExceeded, InAllExceeded };
// Strictly greater than a limit exceeds it.
inline TVerdict Judge(kv::TDateTime Start, kv::TDateTime Now, bool DataReceived, TTimeLimits Limits) {
  const long long Ms = ElapsedMs(Start, Now);
  if (!DataReceived && Ms > Limits.NoData * 1000LL)
    return TVerdict::NoDataExceeded;
  if (Ms > Limits.InAll * 1000LL)
    return TVerdict::InAllExceeded;
  return TVerdict::Running;
}

// What the time-out timer needs of the conversations with the maker's
// server, bound by their owner. Unset members answer false or 0 and do nothing.
struct TServerTimeOuts {
  std::function<bool()> LogonActive;
  std::function<kv::TDateTime()> LogonStartTime;
  std::function<bool()> ShortagesUnderWay;
  std::function<bool()> CheckWaiting;
  // Ends the logon, or the check, if it ran past its limits at Now; true
  // when it did.
  std::function<bool(kv::TDateTime Now)> EndOverdueLogon;
  std::function<bool(kv::TDateTime Now)> EndOverdueCheck;
  // After the logon ended so and the timer stopped: the warning.
  std::function<void()> LogonLost;
};
