#pragma once
// The test server's class, and its registration for a test.
#include <string>

#include "platform/automation/ClassRegistry.h"

namespace kvtest {

inline constexpr char CalcProgID[] = "KvTest.Calc";
inline constexpr char CalcCLSID[] = "{5D0C2E61-3B7A-4C1E-9F52-7A6E1B2C3D4E}";

inline kv::TClassInfo CalcClassInfo(const std::string &ServerPath) {
  kv::TClassInfo I;
  I.ProgID = CalcProgID;
  I.ClassName = "Calc Object";
  I.CLSID = CalcCLSID;
  I.LibID = "{5D0C2E62-3B7A-4C1E-9F52-7A6E1B2C3D4E}";
  I.LibName = "KvTest";
  I.LibHelp = "KvTest Library";
  I.LibVersion = "1.0";
  I.IID = "{5D0C2E63-3B7A-4C1E-9F52-7A6E1B2C3D4E}";
  I.InterfaceName = "ICalc";
  I.ServerPath = ServerPath;
  return I;
}

}  // namespace kvtest
