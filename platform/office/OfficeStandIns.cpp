#include "platform/office/OfficeStandIns.h"

#include "platform/automation/Automation.h"
#include "platform/office/ExcelApplication.h"
#include "platform/office/WordApplication.h"

namespace kv {

void RegisterOfficeStandIns() {
  RegisterInProcessClass("word.application", office::CreateWordApplication);
  RegisterInProcessClass("excel.application", office::CreateExcelApplication);
}

}  // namespace kv
