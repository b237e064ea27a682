#include "platform/office/OfficeStandIns.h"

#include "platform/SysUtils.h"
#include "platform/office/ExcelApplication.h"
#include "platform/office/WordApplication.h"

namespace kv {

TAutoRef CreateOfficeStandIn(const std::string &ProgID) {
  if (SameText(ProgID, "word.application"))
    return office::CreateWordApplication();
  if (SameText(ProgID, "excel.application"))
    return office::CreateExcelApplication();
  return nullptr;
}

void RegisterOfficeStandIns() { SetAutoObjectFactory(CreateOfficeStandIn); }

}  // namespace kv
