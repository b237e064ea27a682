#pragma once
// The spreadsheet program's workbooks as XML Spreadsheet 2003 files: sheets
// of text cells. Cell texts are Windows-1252; the file is UTF-8.
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kv::office {

struct TSheet {
  std::string Name;
  // Row -> column -> text, both from 1; empty cells are not kept.
  std::map<int, std::map<int, std::string>> Cells;
};

// Every sheet in order; a workbook without sheets gets one empty "Sheet1",
// since a workbook always has a sheet.
std::string SpreadsheetXml(const std::vector<std::shared_ptr<TSheet>> &Sheets);

}  // namespace kv::office
