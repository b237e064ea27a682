// A module that carries Common compiled in, as the client, primary and
// Fetchlet do: none of Common may be visible from outside it.
#include <string>

#include "common/Common.h"

extern "C" __attribute__((visibility("default"))) int HiddenCopyRun() {
  // One call into each part of the unit, so all of it is linked in.
  std::string t = "a<b>c";
  return static_cast<int>(GetTextBetween(t, "<", ">").size() + HTTPEncode(t).size() +
                          std::string(GetEnumName(TypeInfo_TFilterType, 1)).size());
}
