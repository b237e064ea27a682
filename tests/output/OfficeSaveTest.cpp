// "Export Search Results..." as a word-processor document and as a workbook,
// through the main window's command and the word processor and spreadsheet
// program the window registers: the files are read back by LibreOffice and
// must hold the list's cells (and, in the document, the columns' alignments).
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "client/window/uproof.h"
#include "platform/qt/Codepage.h"
#include "tests/output/MainWindowFixture.h"

using namespace outputtest;

namespace {

using TRows = std::vector<std::vector<std::string>>;

// The list area's reader, which knows LibreOffice's documents and sheets.
QJsonDocument ReadBack(const std::string &Mode, const std::string &File) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(
      RunProgram("python3", {QString::fromStdString(kvtest::DataPath("listview", "readback.py")),
                             QString::fromStdString(Mode), QString::fromStdString(File)})));
}

class OfficeSave : public TMainWindowTest {
protected:
  void SetUp() override {
    TMainWindowTest::SetUp();
    if (HasFatalFailure())
      return;
    AddRow(*Main->lstProducts, {"LM317T", "Regulator, 1.5A \"TO-220\" <adj> & more", "\xC9lectronique M\xFCller",
                                "http://ds.test/lm317.pdf", "1,234.50", "", "1,000", "Shop \x80"});
    Main->lstProducts->AddItem(kv::TReportItem{"NE555", {"Timer"}, -1, {}, nullptr});
  }
  // The list's rows as cells, every row as wide as the list.
  TRows ListCells() const {
    TRows Rows;
    for (const kv::TReportItem &Item : Main->lstProducts->Items()) {
      std::vector<std::string> Row = {Item.Caption};
      Row.insert(Row.end(), Item.SubItems.begin(), Item.SubItems.end());
      Row.resize(size_t(Main->lstProducts->ColumnCount()));
      Rows.push_back(Row);
    }
    return Rows;
  }
  // Saves through the File menu's command with the dialog's filter Filter.
  void SaveAs(int Filter) {
    Dialog.Answers.push_back({true, Env / "results", Filter});
    Main->mnuFileSaveResultsAs->trigger();
    EXPECT_TRUE(Boxes.Boxes.empty()) << Boxes.Boxes.front().Text;
  }
};

TEST_F(OfficeSave, DocumentReadsBackWithTheColumnsAlignments) {
  SaveAs(1);
  const std::string File = Env / "results.DOC";
  ASSERT_TRUE(kvtest::FileExists(File));
  const QJsonObject Doc = ReadBack("writer", File).object();
  EXPECT_EQ(Doc["tables"].toInt(), 1);
  TRows Texts;
  std::vector<std::vector<int>> Alignments;
  for (const QJsonValue &Row : Doc["rows"].toArray()) {
    Texts.emplace_back();
    Alignments.emplace_back();
    for (const QJsonValue &Cell : Row.toArray()) {
      Texts.back().push_back(kv::ToAnsi(Cell.toObject()["text"].toString()));
      Alignments.back().push_back(Cell.toObject()["align"].toInt());
    }
  }
  EXPECT_EQ(Texts, ListCells());
  // Left, except the datasheet and stock (centred), price and quantity (right).
  const std::vector<int> Want = {0, 0, 0, 1, 2, 1, 2, 0};
  ASSERT_EQ(Alignments.size(), ListCells().size());
  for (size_t R = 0; R < Alignments.size(); ++R)
    EXPECT_EQ(Alignments[R], Want) << "row " << R;
}

TEST_F(OfficeSave, WorkbookReadsBackCellForCell) {
  SaveAs(2);
  const std::string File = Env / "results.XLS";
  ASSERT_TRUE(kvtest::FileExists(File));
  TRows Cells;
  for (const QJsonValue &Row : ReadBack("sheet", File).array()) {
    Cells.emplace_back();
    for (const QJsonValue &Cell : Row.toArray())
      Cells.back().push_back(kv::ToAnsi(Cell.toString()));
  }
  EXPECT_EQ(Cells, ListCells());
}

}  // namespace
