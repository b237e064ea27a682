// The word-processor and spreadsheet exports: their exact late-bound call
// sequences, recorded by a stand-in automation object, and their failures.
#include <gtest/gtest.h>

#include <algorithm>

#include <QCursor>
#include <QGuiApplication>

#include "components/replistv.h"
#include "platform/automation/Automation.h"
#include "tests/support/TestEnv.h"

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
  Qt::CursorShape CursorAtValue = Qt::ArrowCursor;
};

std::string Show(const TOleVariant &V);

// The members that yield nothing; every other one yields a new object.
bool YieldsNothing(const std::string &Member) {
  for (const char *M : {"Quit", "InsertAfter", "SaveAs", "Alignment", "Value"})
    if (Member == M)
      return true;
  return false;
}

class RecordingObject : public IDispatch {
public:
  RecordingObject(Recorder &R) : R(R), Id(R.Objects++) {}
  std::string Name() const { return "#" + std::to_string(Id); }

  TOleVariant Invoke(const std::string &Member, const TOleArgs &Args, const TNamedArgs &Named) override {
    std::string line = Name() + "." + Member + "(";
    std::string sep;
    for (const TOleVariant &A : Args) {
      line += sep + Show(A);
      sep = ", ";
    }
    for (const TNamedArg &A : Named) {
      line += sep + A.Name + ":=" + Show(A.Value);
      sep = ", ";
    }
    line += ")";
    TOleVariant result;
    if (!YieldsNothing(Member)) {
      auto child = std::make_shared<RecordingObject>(R);
      line += " -> " + child->Name();
      result = TOleVariant(std::shared_ptr<IDispatch>(child));
    }
    if (Member == "Value" && QGuiApplication::overrideCursor())
      R.CursorAtValue = QGuiApplication::overrideCursor()->shape();
    R.Calls.push_back(line);
    if ((!R.FailAt.empty() && line.rfind(R.FailAt, 0) == 0) || (Member == "Quit" && R.QuitFails))
      throw EOleException(TOleError::Exception, "refused: " + line);
    return result;
  }

private:
  Recorder &R;
  int Id;
};

std::string Show(const TOleVariant &V) {
  switch (V.Type()) {
  case TVarType::Integer: return std::to_string(V.AsInteger());
  case TVarType::String: return "'" + V.AsString() + "'";
  case TVarType::Dispatch: return static_cast<RecordingObject *>(V.AsDispatch().get())->Name();
  case TVarType::Array2D: {
    const TVariantArray2D &a = V.AsArray();
    std::string r = "[";
    for (int row = 0; row < a.Rows; ++row)
      for (int c = 0; c < a.Cols; ++c)
        r += (c ? "|" : row ? "/" : "") + a.At(row, c);
    return r + "]";
  }
  default: return "other";
  }
}

const char *const kProgIDs[] = {"word.application", "excel.application"};

class AutomationExport : public ::testing::Test {
protected:
  kvtest::IsolatedEnv Env;
  Recorder Rec;
  TReportListView View;

  void SetUp() override {
    for (const char *ProgID : kProgIDs)
      RegisterInProcessClass(ProgID, [this, ProgID] {
        Rec.Created.push_back(ProgID);
        return std::make_shared<RecordingObject>(Rec);
      });
    View.AddColumn("Part");
    View.AddColumn("Stock", 50, taCenter);
    View.AddColumn("Price", 50, taRightJustify);
    View.AddItem(TReportItem{"P1", {"D1", "1.00", "beyond"}, -1, {}, nullptr});
    View.AddItem(TReportItem{"P2", {}, -1, {}, nullptr});
  }
  void TearDown() override {
    for (const char *ProgID : kProgIDs)
      RegisterInProcessClass(ProgID, {});
  }
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
      "#11.Alignment(1)",
      "#5.Cell(row:=1, column:=3) -> #12",
      "#12.Range() -> #13",
      "#13.InsertAfter('1.00')",
      "#12.Range() -> #14",
      "#14.ParagraphFormat() -> #15",
      "#15.Alignment(2)",
      "#5.Cell(row:=2, column:=1) -> #16",
      "#16.Range() -> #17",
      "#17.InsertAfter('P2')",
      "#5.Cell(row:=2, column:=2) -> #18",
      "#18.Range() -> #19",
      "#19.ParagraphFormat() -> #20",
      "#20.Alignment(1)",
      "#5.Cell(row:=2, column:=3) -> #21",
      "#21.Range() -> #22",
      "#22.ParagraphFormat() -> #23",
      "#23.Alignment(2)",
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
      "#4.Range('A1:C2') -> #5", "#5.Value([P1|D1|1.00/P2||])",
      "#2.SaveAs('out.xls')",   "#0.Quit()",
  };
  EXPECT_EQ(Rec.Calls, want);
  EXPECT_EQ(Rec.CursorAtValue, Qt::WaitCursor);
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
  EXPECT_EQ(Rec.Calls[5].substr(0, 19), "#5.Value([first|1|2");
  EXPECT_EQ(Rec.Calls[5].substr(Rec.Calls[5].size() - 9), "254|255])");
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
  } catch (const EOleException &e) {
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
  for (const char *ProgID : kProgIDs)
    RegisterInProcessClass(ProgID, {});
  for (bool Document : {true, false}) {
    try {
      Document ? View.SaveToDOC("x") : View.SaveToXLS("x");
      ADD_FAILURE() << "no error";
    } catch (const EOleException &e) {
      EXPECT_EQ(e.Kind(), TOleError::ClassNotFound);
    }
  }
  EXPECT_TRUE(Rec.Calls.empty());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// A member that should yield an object and yields nothing fails the export
// as a type mismatch; the program is still told to quit.
TEST_F(AutomationExport, NoObjectWhereOneIsNeededIsATypeMismatch) {
  class TNoDocuments : public IDispatch {
  public:
    explicit TNoDocuments(Recorder &R) : R(R) {}
    TOleVariant Invoke(const std::string &Member, const TOleArgs &, const TNamedArgs &) override {
      R.Calls.push_back(Member);
      return {};
    }
    Recorder &R;
  };
  RegisterInProcessClass("word.application", [this] { return std::make_shared<TNoDocuments>(Rec); });
  try {
    View.SaveToDOC("x");
    ADD_FAILURE() << "no error";
  } catch (const EOleException &e) {
    EXPECT_EQ(e.Kind(), TOleError::TypeMismatch);
    EXPECT_STREQ(e.what(), "Member Documents did not yield an object");
  }
  EXPECT_EQ(Rec.Calls, (std::vector<std::string>{"Documents", "Quit"}));
}

TEST_F(AutomationExport, ListWithoutRowsStartsNoServer) {
  View.ClearItems();
  EXPECT_THROW(View.SaveToDOC("x"), Exception);
  EXPECT_THROW(View.SaveToXLS("x"), Exception);
  EXPECT_TRUE(Rec.Created.empty());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
