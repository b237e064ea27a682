#pragma once
// The word processor and the spreadsheet program the list's exports drive,
// as in-process automation objects of our own: "word.application" writes
// its documents as Rich Text, "excel.application" its workbooks as XML
// Spreadsheet 2003 files. Each implements only the members the exports call.
#include <string>

#include "platform/LateBound.h"

namespace kv {

// A new object for either ProgID (case-insensitive); null for any other.
TAutoRef CreateOfficeStandIn(const std::string &ProgID);

// Makes CreateAutoObject answer the two ProgIDs with the stand-ins (and
// nothing else), replacing the factory in place.
void RegisterOfficeStandIns();

}  // namespace kv
