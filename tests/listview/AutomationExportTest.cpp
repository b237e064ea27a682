// The word-processor and spreadsheet exports: their exact late-bound call
// sequences, recorded by a stand-in automation object, and their failures.
#include <gtest/gtest.h>

#include <algorithm>

#include <QCursor>
#include <QGuiApplication>

#include "platform/LateBound.h"
#include "components/replistv.h"

using namespace kv;

namespace {

// Every object the recorder hands out has a number; each call is logged as
// "#object.Member(arguments) -> #result".
struct Recorder {
  std::vector<std::string> Calls;
  std::string FailAt;    // a logged call that starts with this raises
  bool QuitFails = false;
  int Objects = 0;
  std::vector<std::string> Created;
  Qt::CursorShape CursorAtPut = Qt::ArrowCursor;
};

std::string Show(const TAutoValue &V);

class RecordingObject : public IAutoObject, public std::enable_shared_from_this<RecordingObject> {
public:
  RecordingObject(Recorder &R) : R(R), Id(R.Objects++) {}
  std::string Name() const { return "#" + std::to_string(Id); }

  TAutoValue Invoke(const std::string &Member, const std::vector<TAutoArg> &Args) override {
    std::string line = Name() + "." + Member + "(";
    for (size_t i = 0; i < Args.size(); ++i)
      line += (i ? ", " : "") + (Args[i].Name.empty() ? "" : Args[i].Name + ":=") + Show(Args[i].Value);
    line += ")";
    TAutoValue result;
    if (Member != "Quit" && Member != "InsertAfter" && Member != "SaveAs") {
      auto child = std::make_shared<RecordingObject>(R);
      line += " -> " + child->Name();
      result = TAutoRef(child);
    }
    R.Calls.push_back(line);
    if ((!R.FailAt.empty() && line.rfind(R.FailAt, 0) == 0) || (Member == "Quit" && R.QuitFails))
      throw EOleError("refused: " + line);
    return result;
  }
  void Put(const std::string &Member, const TAutoValue &Value) override {
    if (QGuiApplication::overrideCursor())
      R.CursorAtPut = QGuiApplication::overrideCursor()->shape();
    R.Calls.push_back(Name() + "." + Member + " := " + Show(Value));
  }

private:
  Recorder &R;
  int Id;
};

std::string Show(const TAutoValue &V) {
  if (const int *i = std::get_if<int>(&V))
    return std::to_string(*i);
  if (const std::string *s = std::get_if<std::string>(&V))
    return "'" + *s + "'";
  if (const TAutoRef *o = std::get_if<TAutoRef>(&V))
    return static_cast<RecordingObject *>(o->get())->Name();
  if (const TAutoArray *a = std::get_if<TAutoArray>(&V)) {
    std::string r = "[";
    for (int row = 0; row < a->Rows; ++row)
      for (int c = 0; c < a->Columns; ++c)
        r += (c ? "|" : row ? "/" : "") + a->Cells[static_cast<size_t>(row * a->Columns + c)];
    return r + "]";
  }
  return "empty";
}

class AutomationExport : public ::testing::Test {
protected:
  Recorder Rec;
  TReportListView View;

  void SetUp() override {
    SetAutoObjectFactory([this](const std::string &ProgID) -> TAutoRef {
      Rec.Created.push_back(ProgID);
      if (ProgID != "word.application" && ProgID != "excel.application")
        return nullptr;
      return std::make_shared<RecordingObject>(Rec);
    });
    View.AddColumn("Part");
    View.AddColumn("Stock", 50, taCenter);
    View.AddColumn("Price", 50, taRightJustify);
    View.AddItem(TReportItem{"P1", {"D1", "1.00", "beyond"}, -1, {}, nullptr});
    View.AddItem(TReportItem{"P2", {}, -1, {}, nullptr});
  }
  void TearDown() override { SetAutoObjectFactory(nullptr); }
};

TEST_F(AutomationExport, DocumentCallSequence) {
  View.SaveToDOC("out.doc");
  EXPECT_EQ(Rec.Created, (std::vector<std::string>{"word.application"}));
  const std::vector<std::string> want = {
      "#0.Documents() -> #1",
      "#1.Add() -> #2",
      "#2.Range(start:=0, end:=0) -> #3",
      "#2.Tables() -> #4",
      "#4.Add(#3, numrows:=2, numcolumns:=3) -> #5",
      "#5.Cell(row:=1, column:=1) -> #6",
      "#6.Range() -> #7",
      "#7.InsertAfter('P1')",
      "#5.Cell(row:=1, column:=2) -> #8",
      "#8.Range() -> #9",
      "#9.InsertAfter('D1')",
      "#8.Range() -> #10",
      "#10.ParagraphFormat() -> #11",
      "#11.Alignment := 1",
      "#5.Cell(row:=1, column:=3) -> #12",
      "#12.Range() -> #13",
      "#13.InsertAfter('1.00')",
      "#12.Range() -> #14",
      "#14.ParagraphFormat() -> #15",
      "#15.Alignment := 2",
      "#5.Cell(row:=2, column:=1) -> #16",
      "#16.Range() -> #17",
      "#17.InsertAfter('P2')",
      "#5.Cell(row:=2, column:=2) -> #18",
      "#18.Range() -> #19",
      "#19.ParagraphFormat() -> #20",
      "#20.Alignment := 1",
      "#5.Cell(row:=2, column:=3) -> #21",
      "#21.Range() -> #22",
      "#22.ParagraphFormat() -> #23",
      "#23.Alignment := 2",
      "#2.SaveAs('out.doc')",
      "#0.Quit()",
  };
  EXPECT_EQ(Rec.Calls, want);
}

TEST_F(AutomationExport, WorkbookCallSequenceUnderTheHourglass) {
  View.SaveToXLS("out.xls");
  EXPECT_EQ(Rec.Created, (std::vector<std::string>{"excel.application"}));
  const std::vector<std::string> want = {
      "#0.WorkBooks() -> #1",   "#1.Add() -> #2",
      "#2.WorkSheets() -> #3",  "#3.Add() -> #4",
      "#4.Range('A1:C2') -> #5", "#5.Value := [P1|D1|1.00/P2||]",
      "#2.SaveAs('out.xls')",   "#0.Quit()",
  };
  EXPECT_EQ(Rec.Calls, want);
  EXPECT_EQ(Rec.CursorAtPut, Qt::WaitCursor);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(AutomationExport, WorkbookOfTwoHundredFiftySixColumns) {
  TReportListView wide;
  TReportItem row;
  for (int c = 0; c < 256; ++c) {
    wide.AddColumn("C" + std::to_string(c));
    if (c > 0)
      row.SubItems.push_back(std::to_string(c));
  }
  row.Caption = "first";
  wide.AddItem(row);
  wide.AddItem(row);
  wide.SaveToXLS("wide.xls");
  ASSERT_GE(Rec.Calls.size(), 6u);
  EXPECT_EQ(Rec.Calls[4], "#4.Range('A1:IV2') -> #5");
  EXPECT_EQ(Rec.Calls[5].substr(0, 22), "#5.Value := [first|1|2");
  EXPECT_EQ(Rec.Calls[5].substr(Rec.Calls[5].size() - 8), "254|255]");
}

struct FailCase {
  const char *Name;
  bool Document;
  const char *FailAt;
  bool QuitFails;
};

const FailCase kFailCases[] = {
    {"DocumentSaveAs", true, "#2.SaveAs", false},
    {"DocumentTable", true, "#4.Add", false},
    {"DocumentQuitAlsoFails", true, "#2.SaveAs", true},
    {"WorkbookValue", false, "#4.Range", false},
    {"WorkbookSaveAs", false, "#2.SaveAs", false},
    {"WorkbookQuitAlsoFails", false, "#2.SaveAs", true},
};

class AutomationFails : public AutomationExport, public ::testing::WithParamInterface<FailCase> {};

TEST_P(AutomationFails, ServerToldToQuitCursorBackErrorGoesOn) {
  const FailCase &c = GetParam();
  Rec.FailAt = c.FailAt;
  Rec.QuitFails = c.QuitFails;
  try {
    c.Document ? View.SaveToDOC("x") : View.SaveToXLS("x");
    ADD_FAILURE() << "no error";
  } catch (const EOleError &e) {
    EXPECT_EQ(std::string(e.what()).rfind("refused: " + std::string(c.FailAt), 0), 0u) << e.what();
  }
  ASSERT_FALSE(Rec.Calls.empty());
  EXPECT_EQ(Rec.Calls.back(), "#0.Quit()");
  EXPECT_EQ(std::count(Rec.Calls.begin(), Rec.Calls.end(), "#0.Quit()"), 1);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Calls, AutomationFails, ::testing::ValuesIn(kFailCases),
                         [](const ::testing::TestParamInfo<FailCase> &i) { return std::string(i.param.Name); });

TEST_F(AutomationExport, NoServerIsAnErrorAndNothingQuits) {
  SetAutoObjectFactory(nullptr);
  EXPECT_THROW(View.SaveToDOC("x"), EOleError);
  EXPECT_THROW(View.SaveToXLS("x"), EOleError);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(AutomationExport, ListWithoutRowsStartsNoServer) {
  View.ClearItems();
  EXPECT_THROW(View.SaveToDOC("x"), Exception);
  EXPECT_THROW(View.SaveToXLS("x"), Exception);
  EXPECT_TRUE(Rec.Created.empty());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
