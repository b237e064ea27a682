#pragma once
// The server conversations' side of the time-out timer: the logon and the
// connectivity check, ended when they run past their limits.
#include "client/uTimeLimits.h"

class TServerSession;

// What the user is told when the logon ran past its limits.
inline constexpr const char *LogonLostText =
    "The connection with the the server was lost.\n\rPlease try to connect again later.";

// Bound to Server, which outlives the result's use.
TServerTimeOuts ServerTimeOuts(TServerSession &Server);
