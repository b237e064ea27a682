#include "platform/office/ExcelApplication.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "platform/office/AutoMembers.h"
#include "platform/office/SpreadsheetXml.h"

namespace kv::office {

namespace {

// The size of a sheet in the spreadsheet program stood in for.
constexpr int kMaxColumns = 16384, kMaxRows = 1048576;

struct TCellRef {
  int Column = 0, Row = 0;
};

// "B7", "$B$7": column letters and a row number, both within the sheet.
bool ParseCellRef(const std::string &S, size_t &P, TCellRef &Ref) {
  if (P < S.size() && S[P] == '$')
    ++P;
  long long column = 0, row = 0;
  const size_t letters = P;
  for (; P < S.size() && std::isalpha(static_cast<unsigned char>(S[P])) && P - letters < 4; ++P)
    column = column * 26 + (std::toupper(static_cast<unsigned char>(S[P])) - 'A' + 1);
  if (P == letters || column > kMaxColumns)
    return false;
  if (P < S.size() && S[P] == '$')
    ++P;
  const size_t digits = P;
  for (; P < S.size() && std::isdigit(static_cast<unsigned char>(S[P])) && P - digits < 8; ++P)
    row = row * 10 + (S[P] - '0');
  if (P == digits || row < 1 || row > kMaxRows)
    return false;
  Ref = {static_cast<int>(column), static_cast<int>(row)};
  return true;
}

// "A1:H1001" or a single cell; the corners may come in any order.
bool ParseRange(const std::string &S, TCellRef &First, TCellRef &Last) {
  size_t p = 0;
  if (!ParseCellRef(S, p, First))
    return false;
  Last = First;
  if (p < S.size() && S[p] == ':' && !ParseCellRef(S, ++p, Last))
    return false;
  if (p != S.size())
    return false;
  if (Last.Column < First.Column)
    std::swap(Last.Column, First.Column);
  if (Last.Row < First.Row)
    std::swap(Last.Row, First.Row);
  return true;
}

class TSheetRange : public IDispatch {
public:
  TSheetRange(std::shared_ptr<TSheet> Sheet, TCellRef First, TCellRef Last)
      : FSheet(std::move(Sheet)), FFirst(First), FLast(Last) {}
  // Value(array) fills the range from its top-left cell; cells of the range
  // beyond the array are emptied, elements beyond the range are left out.
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (!IsMember(Name, "Value"))
      UnknownMember("Range", Name);
    const TOleVariant &value = BindArgs("Range.Value", {"Value"}, 1, Args, Named).Value(0);
    if (value.Type() != TVarType::Array2D)
      Fail("Range.Value: the value must be a two-dimensional array");
    const TVariantArray2D *a = &value.AsArray();
    if (a->Rows < 0 || a->Cols < 0 ||
        a->Cells.size() != static_cast<size_t>(a->Rows) * static_cast<size_t>(a->Cols))
      Fail("Range.Value: the array's size does not match its bounds");
    auto &rows = FSheet->Cells;
    for (auto row = rows.lower_bound(FFirst.Row); row != rows.end() && row->first <= FLast.Row;) {
      auto &cells = row->second;
      cells.erase(cells.lower_bound(FFirst.Column), cells.upper_bound(FLast.Column));
      row = cells.empty() ? rows.erase(row) : std::next(row);
    }
    const int height = std::min(a->Rows, FLast.Row - FFirst.Row + 1);
    const int width = std::min(a->Cols, FLast.Column - FFirst.Column + 1);
    for (int r = 0; r < height; ++r) {
      std::map<int, std::string> *cells = nullptr;
      for (int c = 0; c < width; ++c) {
        const std::string &text = a->At(r, c);
        if (text.empty())
          continue;
        if (!cells)
          cells = &rows[FFirst.Row + r];
        cells->emplace_hint(cells->end(), FFirst.Column + c, text);
      }
    }
    return {};
  }

private:
  std::shared_ptr<TSheet> FSheet;
  TCellRef FFirst, FLast;
};

class TWorksheet : public IDispatch {
public:
  explicit TWorksheet(std::shared_ptr<TSheet> Sheet) : FSheet(std::move(Sheet)) {}
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (!IsMember(Name, "Range"))
      UnknownMember("Worksheet", Name);
    const std::string &text = BindArgs("Worksheet.Range", {"Cell1"}, 1, Args, Named).Text(0);
    TCellRef first, last;
    if (!ParseRange(text, first, last))
      Fail("Worksheet.Range: \"" + text + "\" is not a range of the sheet");
    return Object(std::make_shared<TSheetRange>(FSheet, first, last));
  }

private:
  std::shared_ptr<TSheet> FSheet;
};

struct TBookData {
  std::vector<std::shared_ptr<TSheet>> Sheets;
};

class TWorksheets : public IDispatch {
public:
  explicit TWorksheets(std::shared_ptr<TBookData> Book) : FBook(std::move(Book)) {}
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (!IsMember(Name, "Add"))
      UnknownMember("Worksheets", Name);
    BindArgs("Worksheets.Add", {}, 0, Args, Named);
    auto sheet = std::make_shared<TSheet>();
    sheet->Name = "Sheet" + std::to_string(FBook->Sheets.size() + 1);
    FBook->Sheets.push_back(sheet);
    return Object(std::make_shared<TWorksheet>(std::move(sheet)));
  }

private:
  std::shared_ptr<TBookData> FBook;
};

class TWorkbook : public IDispatch {
public:
  TWorkbook() : FData(std::make_shared<TBookData>()) {}
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (IsMember(Name, "WorkSheets")) {
      BindArgs("Workbook.Worksheets", {}, 0, Args, Named);
      return Object(std::make_shared<TWorksheets>(FData));
    }
    if (IsMember(Name, "SaveAs")) {
      const std::string &file = BindArgs("Workbook.SaveAs", {"FileName"}, 1, Args, Named).Text(0);
      SaveFile("Workbook.SaveAs", file, SpreadsheetXml(FData->Sheets));
      return {};
    }
    UnknownMember("Workbook", Name);
  }

private:
  std::shared_ptr<TBookData> FData;
};

class TWorkbooks : public IDispatch {
public:
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (!IsMember(Name, "Add"))
      UnknownMember("Workbooks", Name);
    BindArgs("Workbooks.Add", {}, 0, Args, Named);
    return Object(std::make_shared<TWorkbook>());
  }
};

class TExcelApplication : public IDispatch {
public:
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (IsMember(Name, "WorkBooks")) {
      BindArgs("Workbooks", {}, 0, Args, Named);
      return Object(std::make_shared<TWorkbooks>());
    }
    if (IsMember(Name, "Quit")) {
      BindArgs("Quit", {}, 0, Args, Named);
      return {};
    }
    UnknownMember("excel.application", Name);
  }
};

}  // namespace

std::shared_ptr<IDispatch> CreateExcelApplication() { return std::make_shared<TExcelApplication>(); }

}  // namespace kv::office
