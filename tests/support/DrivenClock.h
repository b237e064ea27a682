#pragma once
// Time as a test sets it: a base plus seconds the test moves on.
#include "client/uTimeLimits.h"

namespace kvtest {

class TDrivenClock : public TClock {
public:
  explicit TDrivenClock(kv::TDateTime Base) : Base(Base) {}
  kv::TDateTime Now() const override { return Base + Seconds / 86400.0; }
  kv::TDateTime Base;
  double Seconds = 0;
};

}  // namespace kvtest
