#pragma once
// The runtime package Tavrel (libTavrel.so): the helper unit Common together
// with the package entry points. Site libraries link it and reach Common
// through it; nothing of the system itself loads it.
#include "common/Common.h"

struct TPackageInfo {
  const char *Name;      // "Tavrel"
  const char *Version;   // "1.0.0.0", file and product version alike
  int FileVersion[4];    // 1, 0, 0, 0
  int UnitCount;
  const char *const *Units;  // in initialisation order
};

extern "C" {
// Runs the initialisation of the package's units, in order, the first time;
// counts every call. Returns the count after the call. Loading the library
// calls it once.
COMMON_API int Tavrel_Initialize();
// Counts one use out; when the count falls to 0 the units are finalised in
// reverse order. Returns the count after the call (never below 0). Unloading
// the library calls it once.
COMMON_API int Tavrel_Finalize();
COMMON_API const TPackageInfo *Tavrel_GetPackageInfoTable();
// How often a unit of the package has been initialised and not yet finalised;
// -1 for a name the package does not hold.
COMMON_API int Tavrel_UnitInitCount(const char *UnitName);
}
