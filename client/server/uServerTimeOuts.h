#pragma once
// The server conversations' side of the time-out timer: the logon and the
// connectivity check, ended when they run past their limits.
#include "client/uTimeLimits.h"

class TServerSession;

// Bound to Server, which outlives the result's use.
TServerTimeOuts ServerTimeOuts(TServerSession &Server);
