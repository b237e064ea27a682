// Package entry points of libTavrel.so.
#include "common/Tavrel.h"

#include <mutex>

#include "platform/SysUtils.h"

namespace {

// The language runtime's own units come first; this build takes them from the
// C++ runtime, so only their names and counts are kept here.
const char *const kUnits[] = {"System", "SysInit", "Windows", "Messages", "SysConst", "SysUtils", "Common"};
constexpr int kUnitCount = sizeof kUnits / sizeof kUnits[0];

const TPackageInfo kPackageInfo = {"Tavrel", "1.0.0.0", {1, 0, 0, 0}, kUnitCount, kUnits};

std::mutex gLock;
int gUses = 0;
int gUnitCounts[kUnitCount] = {};

// Common sets nothing up (its tables are constants): its initialisation and
// finalisation only count.
void InitializeUnits() {
  for (int &c : gUnitCounts)
    ++c;
}

void FinalizeUnits() {
  for (int i = kUnitCount - 1; i >= 0; --i)
    if (gUnitCounts[i] > 0)
      --gUnitCounts[i];
}

__attribute__((constructor)) void PackageLoaded() { Tavrel_Initialize(); }
__attribute__((destructor)) void PackageUnloaded() { Tavrel_Finalize(); }

}  // namespace

int Tavrel_Initialize() {
  std::lock_guard<std::mutex> l(gLock);
  if (gUses++ == 0)
    InitializeUnits();
  return gUses;
}

int Tavrel_Finalize() {
  std::lock_guard<std::mutex> l(gLock);
  if (gUses == 0)
    return 0;
  if (--gUses == 0)
    FinalizeUnits();
  return gUses;
}

const TPackageInfo *Tavrel_GetPackageInfoTable() { return &kPackageInfo; }

int Tavrel_UnitInitCount(const char *UnitName) {
  if (!UnitName)
    return -1;
  std::lock_guard<std::mutex> l(gLock);
  for (int i = 0; i < kUnitCount; ++i)
    if (kv::SameText(kUnits[i], UnitName))
      return gUnitCounts[i];
  return -1;
}
