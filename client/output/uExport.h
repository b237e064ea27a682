#pragma once
// Saving and exporting the result list: the whole list as a document, a
// workbook, an HTML page or a delimited file through the list's own exports;
// the selected offer, or the lowest-priced offer of every part number, as a
// comma-delimited file of our fixed format.
#include <functional>
#include <string>

#include "platform/Dialogs.h"

namespace kv {
class TReportListView;
struct TReportItem;
}  // namespace kv

// The first line of both comma-delimited exports, whatever the list shows.
extern const char *const CsvExportHeader;

// One offer of a part number while the lowest-price export runs.
struct TPartItem {
  std::string PartNumber;
  std::string Price;  // the row's price text, or "0.0" when it is no number
  int Index = 0;      // the row it came from
};

// The prices read with every "," removed: 1 when A's is lower than B's, -1
// when higher, 0 when they are equal or one is no number.
int ComparePrices(const TPartItem &A, const TPartItem &B);

// What the export needs of the main window.
struct TExportEvents {
  // The window's part-number comparison of two rows for its sort direction
  // Direction (-1: ascending); > 0 puts B first.
  std::function<int(const kv::TReportItem &A, const kv::TReportItem &B, int Direction)> CompareByPartNumber;
  // The rows are now in the order of Column in Direction: the window's sort
  // state and the header show it.
  std::function<void(int Column, int Direction)> RowsSorted;
};

class TExportCommands {
public:
  TExportCommands(kv::TReportListView *List, TExportEvents Events);

  // Shared by the save and the exports; it remembers the filter chosen last
  // (the HTML page at first) and the folder.
  kv::TSaveDialog dlgResultsSave;

  // The menu commands report their failures, as the message loop would.
  void mnuFileSaveResultsAsClick();
  void mnuExportItemClick();
  void mnuExportLowestPriceClick();

  // Asks for the file, then writes the selected row (SelectedRow) or the
  // lowest prices. Raises on a failure to write.
  void ExportCsv(bool SelectedRow);
  // The header and row Index, with sub-item 3 as the price.
  void BuildCsvText(const std::string &FileName, int Index);
  // Sorts the list by part number and writes the lowest price of each.
  void ExportResults(const std::string &FileName);

private:
  bool ConfirmReplace(const std::string &Chosen, const std::string &Final);
  kv::TReportListView *FList;
  TExportEvents FEvents;
};
