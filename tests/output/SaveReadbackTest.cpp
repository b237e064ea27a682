// The saved and exported files read back by python's csv module and HTML
// parser, as a spreadsheet or a browser would read them, and compared with
// the list they came from.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <map>

#include "client/output/uExport.h"
#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"
#include "tests/output/OutputSupport.h"
#include "tests/support/TestEnv.h"

using namespace kv;
using namespace outputtest;

namespace {

using TRows = std::vector<std::vector<std::string>>;

// The cells' texts as the list view's reader gives them: a delimited file
// through python's csv module, a page's table through its HTML parser.
TRows ReadBack(const std::string &Mode, const std::string &File) {
  QStringList Args = {QString::fromStdString(kvtest::DataPath("listview", "readback.py")),
                      QString::fromStdString(Mode), QString::fromStdString(File)};
  if (Mode == "csv")
    Args << ",";
  const QJsonDocument Doc = QJsonDocument::fromJson(QByteArray::fromStdString(RunProgram("python3", Args)));
  TRows Rows;
  for (const QJsonValue &Row : Mode == "html" ? Doc.object()["rows"].toArray() : Doc.array()) {
    Rows.emplace_back();
    for (const QJsonValue &Cell : Row.toArray())
      Rows.back().push_back(ToAnsi(Cell.isObject() ? Cell.toObject()["text"].toString() : Cell.toString()));
  }
  return Rows;
}

const std::vector<std::string> ExportHeader = {"Part Number", "Description", "Manufacturer", "Price",
                                               "In Stock",    "Quantity",    "Supplier"};

bool Converts(const std::string &Price, double &Value) {
  std::string Plain = Price;
  Plain.erase(std::remove(Plain.begin(), Plain.end(), ','), Plain.end());
  return TryStrToFloat(Plain, Value);
}

class SaveReadback : public ::testing::Test {
protected:
  void SetUp() override {
    AddColumns(List);
    // 1,000 offers of 300 part numbers: prices of 1,000 and more, offers
    // without a price, part numbers without any price, texts with commas,
    // quotes, line breaks and Windows-1252 letters.
    List.BeginUpdate();
    for (int I = 0; I < 1000; ++I) {
      const int Part = (I * 37) % 300;
      std::string Price = FormatFloat("#,##0.00", ((I * 7919) % 3000) / 2.0);
      if (I % 7 == 0 || Part % 50 == 0)
        Price = Part % 50 == 0 ? "" : "Call";
      std::string Desc = "Regulator " + IntToStr(I);
      if (I % 10 == 3)
        Desc += ", 1.5A \"TO-220\"";
      std::string Supplier = I % 10 == 7 ? "\xC9lectronique M\xFCller" : "Shop " + IntToStr(I % 9);
      if (I % 100 == 11)
        Supplier = "two\r\nlines";
      AddRow(List, {Format("PN%03d", Part), Desc, "Maker " + IntToStr(I % 13), "http://ds.test/" + IntToStr(I), Price,
                    I % 2 ? "Y" : "N", FormatFloat("#,##0", I * 3.0), Supplier});
    }
    List.EndUpdate();
    TExportEvents E;
    E.CompareByPartNumber = [](const TReportItem &A, const TReportItem &B, int Direction) {
      return Direction * CompareStr(B.Caption, A.Caption);
    };
    Commands = std::make_unique<TExportCommands>(&List, std::move(E));
  }
  std::vector<std::string> Cells(const TReportItem &Row) const {
    std::vector<std::string> R = {Row.Caption};
    R.insert(R.end(), Row.SubItems.begin(), Row.SubItems.end());
    return R;
  }
  std::vector<std::string> ExportCells(const TReportItem &Row, const std::string &Price) const {
    return {Row.Caption, Row.SubItems[0], Row.SubItems[1], Price, Row.SubItems[4], Row.SubItems[5], Row.SubItems[6]};
  }

  kvtest::IsolatedEnv Env;
  TReportListView List;
  TDialogScript Dialog;
  TBoxRecorder Boxes;
  std::unique_ptr<TExportCommands> Commands;
};

TEST_F(SaveReadback, SavedListsReadBackCellForCell) {
  struct TCase {
    const char *Name;
    int FilterIndex;
    const char *Mode, *File;
  };
  for (const TCase &C : {TCase{"HTML page", 3, "html", "results.HTML"}, TCase{"delimited file", 4, "csv", "results.CSV"}}) {
    SCOPED_TRACE(C.Name);
    Dialog.Answers.push_back({true, Env / "results", C.FilterIndex});
    Commands->mnuFileSaveResultsAsClick();
    TRows Want = {{"Part Number", "Description", "Manufacturer", "Datasheet", "Price", "In Stock", "Quantity",
                   "Supplier"}};
    for (const TReportItem &Row : List.Items())
      Want.push_back(Cells(Row));
    EXPECT_EQ(ReadBack(C.Mode, Env / C.File), Want);
  }
  EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(SaveReadback, LowestPriceListMatchesTheList) {
  // The expected choice, worked out from the rows as they stand now: the
  // lowest price of each part number, the first such offer in the list, an
  // offer without a price only when none has one.
  std::map<std::string, std::vector<std::string>> Want;
  std::map<std::string, double> Lowest;
  for (const TReportItem &Row : List.Items()) {
    double Value = 0;
    const bool Priced = Converts(Row.SubItems[3], Value);
    auto It = Want.find(Row.Caption);
    if (It == Want.end()) {
      Want[Row.Caption] = ExportCells(Row, Priced ? Row.SubItems[3] : "0.0");
      Lowest[Row.Caption] = Priced ? Value : -1;
    } else if (Priced && (Lowest[Row.Caption] < 0 || Value < Lowest[Row.Caption])) {
      It->second = ExportCells(Row, Row.SubItems[3]);
      Lowest[Row.Caption] = Value;
    }
  }
  Dialog.Answers.push_back({true, Env / "lowest.txt", 1});
  Commands->mnuExportLowestPriceClick();
  TRows Expected = {ExportHeader};
  for (const auto &[Part, Row] : Want)
    Expected.push_back(Row);
  const TRows Got = ReadBack("csv", Env / "lowest.csv");
  EXPECT_EQ(Got, Expected);
  // Some of them cost 1,000 or more, and some have no price.
  EXPECT_TRUE(std::any_of(Got.begin(), Got.end(), [](const auto &R) { return R[3].find(',') != std::string::npos; }));
  EXPECT_TRUE(std::any_of(Got.begin(), Got.end(), [](const auto &R) { return R[3] == "0.0"; }));
  EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(SaveReadback, ItemExportReadsBackAsTheSelectedRow) {
  for (int Index : {0, 3, 11, 17, 999}) {
    SCOPED_TRACE(Index);
    List.SetSelected(Index);
    Dialog.Answers.push_back({true, Env / "item.csv", 1});
    Commands->mnuExportItemClick();
    const TReportItem &Row = List.Item(Index);
    EXPECT_EQ(ReadBack("csv", Env / "item.csv"), (TRows{ExportHeader, ExportCells(Row, Row.SubItems[3])}));
  }
  EXPECT_TRUE(Boxes.Boxes.empty());
}

}  // namespace
