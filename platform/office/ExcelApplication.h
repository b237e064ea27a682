#pragma once
#include <memory>

#include "platform/automation/Dispatch.h"

namespace kv::office {

// A new "excel.application": a spreadsheet program that fills sheets with
// text and saves workbooks as XML Spreadsheet 2003 files.
std::shared_ptr<IDispatch> CreateExcelApplication();

}  // namespace kv::office
