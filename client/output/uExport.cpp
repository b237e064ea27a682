#include "client/output/uExport.h"

#include <algorithm>
#include <vector>

#include "components/CsvWriter.h"
#include "components/replistv.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "platform/gui/Cursor.h"
#include "platform/qt/Messages.h"

using namespace kv;

const char *const CsvExportHeader = "Part Number,Description,Manufacturer,Price,In Stock,Quantity,Supplier";

namespace {

const char *const ResultsFilter =
    "MS Word Document (*.DOC)|*.DOC|MS Excel WorkSheet (*.XLS)|*.XLS|Internet Page (*.HTML)|*.HTML|"
    "Comma Delimited File (*.CSV)|*.CSV";
const char *const CsvFilter = "Comma Delimited File (*.CSV)|*.CSV";

bool PriceValue(const std::string &Price, double &Value) {
  std::string Plain = Price;
  Plain.erase(std::remove(Plain.begin(), Plain.end(), ','), Plain.end());
  return TryStrToFloat(Plain, Value);
}

// One record of the export; fields that hold a comma (a price of 1,000 or
// more, a description) are quoted so they stay one field.
void AppendRecord(std::string &Out, const TReportItem &Row, const std::string &Price) {
  AppendCsvLine(Out,
                {Row.Caption, SubItemText(Row, 0), SubItemText(Row, 1), Price, SubItemText(Row, 4),
                 SubItemText(Row, 5), SubItemText(Row, 6)},
                ',');
}

// Written whole beside the target and renamed over it: a failure never
// leaves a truncated file where a good one was.
void WriteExportFile(const std::string &FileName, const std::string &Text) {
  if (!WriteFileAtomic(FileName, Text))
    throw EInOutError("Cannot create file \"" + FileName + "\"");
}

std::string HeaderLine() { return std::string(CsvExportHeader) + "\r\n"; }

// The group's entry to export: the lowest price, any offer with a price before
// those without; of equal prices, the one first in the list.
const TPartItem &ChooseEntry(std::vector<TPartItem> &Group) {
  std::sort(Group.begin(), Group.end(), [](const TPartItem &A, const TPartItem &B) {
    const int C = ComparePrices(A, B);
    return C != 0 ? C < 0 : A.Index > B.Index;
  });
  for (auto It = Group.rbegin(); It != Group.rend(); ++It)
    if (It->Price != "0.0")
      return *It;
  return Group.back();
}

}  // namespace

int ComparePrices(const TPartItem &A, const TPartItem &B) {
  double VA = 0, VB = 0;
  if (!PriceValue(A.Price, VA) || !PriceValue(B.Price, VB))
    return 0;
  if (VA < VB)
    return 1;
  if (VA > VB)
    return -1;
  return 0;
}

TExportCommands::TExportCommands(TReportListView *List, TExportEvents Events)
    : FList(List), FEvents(std::move(Events)) {
  dlgResultsSave.Title = "Save Results As...";
  dlgResultsSave.OverwritePrompt = true;
  dlgResultsSave.FilterIndex = 3;
}

// The extension is changed after the dialog asked about the chosen name:
// the file really written is asked about too when it is another one.
bool TExportCommands::ConfirmReplace(const std::string &Chosen, const std::string &Final) {
  if (Final == Chosen || !FileExists(Final))
    return true;
  return MessageBox(ExtractFileName(Final) + " already exists.\r\nDo you want to replace it?", dlgResultsSave.Title,
                    MB_YESNO | MB_ICONWARNING) == IDYES;
}

void TExportCommands::mnuFileSaveResultsAsClick() {
  try {
    dlgResultsSave.FileName.clear();
    dlgResultsSave.Filter = ResultsFilter;
    if (!dlgResultsSave.Execute())
      return;
    static const char *const Extensions[] = {".DOC", ".XLS", ".HTML", ".CSV"};
    const int Kind = dlgResultsSave.FilterIndex;
    if (Kind < 1 || Kind > 4)
      return;
    const std::string Chosen = dlgResultsSave.FileName;
    const std::string FileName = ChangeFileExt(Chosen, Extensions[Kind - 1]);
    if (!ConfirmReplace(Chosen, FileName))
      return;
    switch (Kind) {
    case 1: FList->SaveToDOC(FileName); break;
    case 2: FList->SaveToXLS(FileName); break;
    case 3: FList->SaveToHTML(FileName); break;
    default: FList->SaveToCSV(FileName); break;
    }
  } catch (...) {
    HandleException();
  }
}

void TExportCommands::mnuExportItemClick() {
  // Only a selected row can be exported; without one there is nothing to ask.
  if (FList->Selected() < 0)
    return;
  try {
    ExportCsv(true);
  } catch (...) {
    HandleException();
  }
}

void TExportCommands::mnuExportLowestPriceClick() {
  try {
    ExportCsv(false);
  } catch (...) {
    HandleException();
  }
}

// The dialog offers one filter: OK exports whatever index it reports.
void TExportCommands::ExportCsv(bool SelectedRow) {
  dlgResultsSave.FileName.clear();
  dlgResultsSave.Filter = CsvFilter;
  if (!dlgResultsSave.Execute())
    return;
  const std::string Chosen = dlgResultsSave.FileName;
  const std::string FileName = ChangeFileExt(Chosen, ".csv");
  if (!ConfirmReplace(Chosen, FileName))
    return;
  THourglass Hourglass;
  if (SelectedRow)
    BuildCsvText(FileName, FList->Selected());
  else
    ExportResults(FileName);
}

void TExportCommands::BuildCsvText(const std::string &FileName, int Index) {
  std::string Text = HeaderLine();
  const TReportItem &Row = FList->Item(Index);
  AppendRecord(Text, Row, SubItemText(Row, 3));
  WriteExportFile(FileName, Text);
}

void TExportCommands::ExportResults(const std::string &FileName) {
  if (FEvents.CompareByPartNumber) {
    const auto &Compare = FEvents.CompareByPartNumber;
    FList->CustomSort([&Compare](const TReportItem &A, const TReportItem &B) { return Compare(A, B, -1); });
  }
  if (FEvents.RowsSorted)
    FEvents.RowsSorted(0, -1);

  std::string Text = HeaderLine();
  const std::vector<TReportItem> &Rows = FList->Items();
  std::vector<TPartItem> Group;
  for (size_t First = 0; First < Rows.size();) {
    const std::string &PartNumber = Rows[First].Caption;
    Group.clear();
    size_t Next = First;
    for (; Next < Rows.size() && Rows[Next].Caption == PartNumber; ++Next) {
      const std::string Price = SubItemText(Rows[Next], 3);
      double Value = 0;
      Group.push_back(TPartItem{PartNumber, PriceValue(Price, Value) ? Price : "0.0", static_cast<int>(Next)});
    }
    const TPartItem &Chosen = ChooseEntry(Group);
    AppendRecord(Text, Rows[static_cast<size_t>(Chosen.Index)], Chosen.Price);
    First = Next;
  }
  WriteExportFile(FileName, Text);
}
