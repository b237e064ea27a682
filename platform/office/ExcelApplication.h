#pragma once
#include "platform/LateBound.h"

namespace kv::office {

// A new "excel.application": a spreadsheet program that fills sheets with
// text and saves workbooks as XML Spreadsheet 2003 files.
TAutoRef CreateExcelApplication();

}  // namespace kv::office
