// Saving the result list and the two comma-delimited exports: the file names
// and types the dialog leads to, the remembered filter and folder, the
// question before another file is replaced, the lowest-price choice, and
// failures reported without a file left behind.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "client/output/uExport.h"
#include "platform/Paths.h"
#include "platform/office/OfficeStandIns.h"
#include "tests/output/OutputSupport.h"
#include "tests/support/SaveTargets.h"
#include "tests/support/TestEnv.h"

using namespace kv;
using namespace outputtest;

namespace {

// The byte order of the part numbers, ascending for direction -1.
int ByteOrder(const TReportItem &A, const TReportItem &B, int Direction) {
  return Direction * CompareStr(B.Caption, A.Caption);
}

class Export : public ::testing::Test {
protected:
  void SetUp() override { AddColumns(List); }
  TExportCommands &Commands() {
    if (!FCommands) {
      TExportEvents E;
      E.CompareByPartNumber = ByteOrder;
      E.RowsSorted = [this](int Column, int D) {
        EXPECT_EQ(Column, 0);
        Directions.push_back(D);
      };
      FCommands = std::make_unique<TExportCommands>(&List, std::move(E));
    }
    return *FCommands;
  }
  std::string Path(const std::string &Name) const { return Env / Name; }

  kvtest::IsolatedEnv Env;
  TReportListView List;
  TDialogScript Dialog;
  TBoxRecorder Boxes;
  std::vector<int> Directions;

private:
  std::unique_ptr<TExportCommands> FCommands;
};

const std::string Header = "Part Number,Description,Manufacturer,Price,In Stock,Quantity,Supplier\r\n";

TEST(ComparePrices, OrdersFromTheHighestPrice) {
  struct TCase {
    const char *Name, *A, *B;
    int Want;
  };
  for (const TCase &C : {TCase{"lower", "1.20", "1.50", 1}, TCase{"higher", "1.50", "1.20", -1},
                         TCase{"equal", "2.00", "2", 0}, TCase{"thousands lower", "980.00", "1,250.00", 1},
                         TCase{"thousands higher", "1,250.00", "980.00", -1}, TCase{"no number", "Call", "1.00", 0},
                         TCase{"empty", "1.00", "", 0}, TCase{"zero text", "0.0", "0.50", 1}}) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(ComparePrices(TPartItem{"P", C.A, 0}, TPartItem{"P", C.B, 1}), C.Want);
  }
}

TEST_F(Export, LowestPricePerPartNumber) {
  struct TCase {
    const char *Name;
    std::vector<TRow> Rows;
    std::string Lines;  // after the header
  };
  const std::vector<TCase> Cases = {
      {"the lowest of three, one without a price",
       {{"A", "d1", "m1", "", "1.50", "Y", "10", "S1"},
        {"A", "d2", "m2", "", "1.20", "N", "20", "S2"},
        {"A", "d3", "m3", "", "", "Y", "30", "S3"}},
       "A,d2,m2,1.20,N,20,S2\r\n"},
      {"no price at all: the first row, priced 0.0",
       {{"A", "d1", "m1", "", "", "Y", "1", "S1"}, {"A", "d2", "m2", "", "Call", "Y", "2", "S2"}},
       "A,d1,m1,0.0,Y,1,S1\r\n"},
      {"a price of 1,000 or more is quoted",
       {{"A", "d1", "m1", "", "1,250.00", "Y", "1", "S1"},
        {"A", "d2", "m2", "", "980.00", "Y", "2", "S2"},
        {"B", "d3", "m3", "", "1,250.00", "Y", "3", "S3"}},
       "A,d2,m2,980.00,Y,2,S2\r\nB,d3,m3,\"1,250.00\",Y,3,S3\r\n"},
      {"letter case makes another part number",
       {{"lm317", "d1", "m1", "", "1.00", "Y", "1", "S1"}, {"LM317", "d2", "m2", "", "2.00", "Y", "2", "S2"}},
       "LM317,d2,m2,2.00,Y,2,S2\r\nlm317,d1,m1,1.00,Y,1,S1\r\n"},
      {"equal prices: the first in the list",
       {{"A", "d1", "m1", "", "3.00", "Y", "1", "S1"},
        {"A", "d2", "m2", "", "1.00", "Y", "2", "S2"},
        {"A", "d3", "m3", "", "1.00", "Y", "3", "S3"}},
       "A,d2,m2,1.00,Y,2,S2\r\n"},
      {"part numbers in ascending order",
       {{"C", "", "", "", "1.00", "", "", "S1"},
        {"A", "", "", "", "1.00", "", "", "S2"},
        {"B", "", "", "", "1.00", "", "", "S3"}},
       "A,,,1.00,,,S2\r\nB,,,1.00,,,S3\r\nC,,,1.00,,,S1\r\n"},
      {"texts that would split a field are quoted",
       {{"A", "Reg, 1.5A \"TO-220\"", "M", "", "1.00", "Y", "1", "two\r\nlines"}},
       "A,\"Reg, 1.5A \"\"TO-220\"\"\",M,1.00,Y,1,\"two\r\nlines\"\r\n"},
  };
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    List.ClearItems();
    Directions.clear();
    for (const TRow &R : C.Rows)
      AddRow(List, R);
    Commands().ExportResults(Path("low.csv"));
    EXPECT_EQ(kvtest::ReadFile(Path("low.csv")), Header + C.Lines);
    // The list stays sorted by part number, the window's direction -1.
    std::vector<std::string> Sorted = Captions(List);
    EXPECT_TRUE(std::is_sorted(Sorted.begin(), Sorted.end()));
    EXPECT_EQ(Directions, std::vector<int>{-1});
  }
}

TEST_F(Export, ItemExportWritesTheRowWithItsPrice) {
  struct TCase {
    const char *Name;
    TReportItem Row;
    std::string Line;
  };
  for (const TCase &C :
       {TCase{"every column but the datasheet",
              {"LM317T", {"Regulator", "ST", "http://x.test/ds.pdf", "1,234.50", "Y", "1,000", "Alpha"}, -1, {}, nullptr},
              "LM317T,Regulator,ST,\"1,234.50\",Y,\"1,000\",Alpha\r\n"},
        TCase{"a row without sub-items", {"P1", {}, -1, {}, nullptr}, "P1,,,,,,\r\n"},
        TCase{"a price that is no number stays", {"P2", {"d", "m", "", "Call", "Call", "Call", "S"}, -1, {}, nullptr},
              "P2,d,m,Call,Call,Call,S\r\n"}}) {
    SCOPED_TRACE(C.Name);
    List.ClearItems();
    List.AddItem(TReportItem{"Other", {"x"}, -1, {}, nullptr});
    List.AddItem(C.Row);
    Commands().BuildCsvText(Path("item.csv"), 1);
    EXPECT_EQ(kvtest::ReadFile(Path("item.csv")), Header + C.Line);
  }
}

// The chosen file loses its extension and takes the chosen type's, in capitals.
TEST_F(Export, SaveWritesTheChosenTypeUnderItsExtension) {
  AddRow(List, {"LM317T", "Regulator", "ST", "", "1.00", "Y", "10", "Alpha"});
  TOfficeRecorder Office;
  struct TCase {
    const char *Name;
    int FilterIndex;
    const char *Chosen, *Written;
    const char *SavedBy;  // the program that saved, or empty: we wrote it
    const char *FirstLine;
  };
  for (const TCase &C : {TCase{"word processor", 1, "offer", "offer.DOC", "word.application", ""},
                         TCase{"spreadsheet", 2, "book.xls", "book.XLS", "excel.application", ""},
                         TCase{"HTML page", 3, "results.txt", "results.HTML", "", "<table border=1>"},
                         TCase{"delimited", 4, "data.csv", "data.CSV", "", "Part Number,Description"}}) {
    SCOPED_TRACE(C.Name);
    Office.Saved.clear();
    Dialog.Answers.push_back({true, Path(C.Chosen), C.FilterIndex});
    Commands().mnuFileSaveResultsAsClick();
    ASSERT_FALSE(Dialog.Shown.empty());
    EXPECT_EQ(Dialog.Shown.back().Title, "Save Results As...");
    EXPECT_EQ(Dialog.Shown.back().Filter,
              "MS Word Document (*.DOC)|*.DOC|MS Excel WorkSheet (*.XLS)|*.XLS|Internet Page (*.HTML)|*.HTML|"
              "Comma Delimited File (*.CSV)|*.CSV");
    EXPECT_TRUE(Dialog.Shown.back().OverwritePrompt);
    EXPECT_EQ(Dialog.Shown.back().FileName, "");
    if (*C.SavedBy) {
      EXPECT_EQ(Office.Saved, std::vector<std::string>{std::string(C.SavedBy) + ":" + Path(C.Written)});
    } else {
      EXPECT_TRUE(Office.Saved.empty());
      EXPECT_EQ(kvtest::ReadFile(Path(C.Written)).rfind(C.FirstLine, 0), 0u);
    }
    if (std::string(C.Chosen) != C.Written) {
      EXPECT_FALSE(kvtest::FileExists(Path(C.Chosen)));
    }
  }
  EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(Export, DialogRemembersTheFilterAndTheFolder) {
  AddRow(List, {"P", "", "", "", "1.00", "", "", ""});
  kvtest::TempDir Other;
  Dialog.Answers.push_back({true, Other / "one", 4});
  Dialog.Answers.push_back({true, Path("two"), 3});
  Dialog.Answers.push_back({false, "", 1});
  Commands().mnuFileSaveResultsAsClick();
  Commands().mnuFileSaveResultsAsClick();
  Commands().mnuFileSaveResultsAsClick();
  ASSERT_EQ(Dialog.Shown.size(), 3u);
  EXPECT_EQ(Dialog.Shown[0].FilterIndex, 3);
  EXPECT_EQ(Dialog.Shown[1].FilterIndex, 4);
  EXPECT_EQ(Dialog.Shown[1].InitialDir, Other.Path());
  EXPECT_EQ(Dialog.Shown[2].FilterIndex, 3);
  EXPECT_EQ(Dialog.Shown[2].InitialDir, Env.Root());
  EXPECT_TRUE(kvtest::FileExists(Other / "one.CSV"));
  EXPECT_TRUE(kvtest::FileExists(Path("two.HTML")));
}

TEST_F(Export, CancelChangesNothing) {
  AddRow(List, {"B", "", "", "", "1.00", "", "", ""});
  AddRow(List, {"A", "", "", "", "1.00", "", "", ""});
  for (int I = 0; I < 3; ++I)
    Dialog.Answers.push_back({false, "", 1});
  List.SetSelected(0);
  Commands().mnuFileSaveResultsAsClick();
  Commands().mnuExportItemClick();
  Commands().mnuExportLowestPriceClick();
  EXPECT_EQ(Dialog.Shown.size(), 3u);
  EXPECT_EQ(Captions(List), (std::vector<std::string>{"B", "A"}));
  EXPECT_TRUE(Directions.empty());
  EXPECT_TRUE(Boxes.Boxes.empty());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// The dialog asked about the name the user typed; when the extension makes
// it another file that exists, that one is asked about too.
TEST_F(Export, AsksBeforeAnotherExistingFileIsReplaced) {
  AddRow(List, {"P", "", "", "", "1.00", "", "", ""});
  List.SetSelected(0);
  struct TCase {
    const char *Name;
    bool Csv;  // the lowest-price export, else the save as HTML
    const char *Existing, *Chosen;
    int Answer;
    bool Asked, Replaced;
  };
  for (const TCase &C : {TCase{"save: other file, yes", false, "results.HTML", "results.txt", IDYES, true, true},
                         TCase{"save: other file, no", false, "results.HTML", "results.txt", IDNO, true, false},
                         TCase{"save: the chosen file itself", false, "results.HTML", "results.HTML", IDNO, false, true},
                         TCase{"save: nothing there", false, "other.HTML", "results", IDNO, false, true},
                         TCase{"export: other file, no", true, "parts.csv", "parts.txt", IDNO, true, false},
                         TCase{"export: other file, yes", true, "parts.csv", "parts.CSV", IDYES, true, true}}) {
    SCOPED_TRACE(C.Name);
    const std::string Target = Path(C.Csv ? "parts.csv" : "results.HTML");
    DeleteFile(Target);
    kvtest::WriteFile(Path(C.Existing), "old");
    Boxes.Boxes.clear();
    Boxes.Answer = C.Answer;
    Dialog.Answers.push_back({true, Path(C.Chosen), C.Csv ? 1 : 3});
    if (C.Csv)
      Commands().mnuExportLowestPriceClick();
    else
      Commands().mnuFileSaveResultsAsClick();
    ASSERT_EQ(Boxes.Boxes.size(), C.Asked ? 1u : 0u);
    if (C.Asked) {
      EXPECT_EQ(Boxes.Boxes[0].Text, ExtractFileName(Target) + " already exists.\r\nDo you want to replace it?");
      EXPECT_EQ(Boxes.Boxes[0].Flags, MB_YESNO | MB_ICONWARNING);
    }
    EXPECT_EQ(kvtest::ReadFile(Target) != "old", C.Replaced);
    DeleteFile(Path(C.Existing));
  }
}

// The export's dialog offers one filter; OK writes whatever index it reports.
TEST_F(Export, ExportsTakeLowerCaseCsvWhateverTheFilterIndex) {
  AddRow(List, {"P1", "d", "m", "", "1.00", "Y", "1", "S"});
  List.SetSelected(0);
  struct TCase {
    const char *Name;
    bool Item;
    int FilterIndex;
  };
  for (const TCase &C : {TCase{"item, first filter", true, 1}, TCase{"item, index 3 reported", true, 3},
                         TCase{"lowest, first filter", false, 1}, TCase{"lowest, index 3 reported", false, 3}}) {
    SCOPED_TRACE(C.Name);
    DeleteFile(Path("parts.csv"));
    Dialog.Answers.push_back({true, Path("parts.txt"), C.FilterIndex});
    if (C.Item)
      Commands().mnuExportItemClick();
    else
      Commands().mnuExportLowestPriceClick();
    EXPECT_EQ(Dialog.Shown.back().Filter, "Comma Delimited File (*.CSV)|*.CSV");
    EXPECT_EQ(Dialog.Shown.back().FileName, "");
    EXPECT_EQ(kvtest::ReadFile(Path("parts.csv")), Header + "P1,d,m,1.00,Y,1,S\r\n");
    EXPECT_FALSE(kvtest::FileExists(Path("parts.txt")));
  }
  EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(Export, ItemExportWithoutASelectedRowAsksNothing) {
  AddRow(List, {"P1", "d", "m", "", "1.00", "Y", "1", "S"});
  List.SetSelected(-1);
  Commands().mnuExportItemClick();
  EXPECT_TRUE(Dialog.Shown.empty());
  EXPECT_TRUE(Boxes.Boxes.empty());
}

// A failure is one error report; no file is left and the cursor is back.
TEST_F(Export, FailuresAreReportedAndLeaveNoFile) {
  AddRow(List, {"P1", "d", "m", "", "1.00", "Y", "1", "S"});
  List.SetSelected(0);
  const std::string Missing = Path("missing/out");
  enum TCommand { Save, Item, Lowest };
  struct TCase {
    const char *Name;
    TCommand Command;
    int FilterIndex;
    std::string Chosen, Message;
  };
  for (const TCase &C :
       {TCase{"no word processor", Save, 1, Path("out"), "Invalid class string."},
        TCase{"no spreadsheet", Save, 2, Path("out"), "Invalid class string."},
        TCase{"HTML into a missing folder", Save, 3, Missing, "Cannot create file \"" + Missing + ".HTML\""},
        TCase{"delimited into a missing folder", Save, 4, Missing, "Cannot create file \"" + Missing + ".CSV\""},
        TCase{"item into a missing folder", Item, 1, Missing, "Cannot create file \"" + Missing + ".csv\""},
        TCase{"lowest into a missing folder", Lowest, 1, Missing, "Cannot create file \"" + Missing + ".csv\""}}) {
    SCOPED_TRACE(C.Name);
    Boxes.Boxes.clear();
    Dialog.Answers.push_back({true, C.Chosen, C.FilterIndex});
    switch (C.Command) {
    case Save: Commands().mnuFileSaveResultsAsClick(); break;
    case Item: Commands().mnuExportItemClick(); break;
    case Lowest: Commands().mnuExportLowestPriceClick(); break;
    }
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0].Text, C.Message);
    EXPECT_EQ(Boxes.Boxes[0].Flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  }
  for (const char *Name : {"out.DOC", "out.XLS", "missing"})
    EXPECT_FALSE(kvtest::FileExists(Path(Name))) << Name;
}

// Every writer meets what lies where it writes alike: a write-protected file
// is refused and reported, a link is written through, and the mode is the
// umask's for a new file and its own for an existing one.
TEST_F(Export, EveryWriterHonoursWhatItWritesOver) {
  RegisterOfficeStandIns();
  struct TUnregister {
    ~TUnregister() {
      for (const char *ProgID : {"word.application", "excel.application"})
        RegisterInProcessClass(ProgID, {});
    }
  } Unregister;
  AddRow(List, {"P1", "d", "m", "", "1.00", "Y", "1", "S"});
  List.SetSelected(0);
  enum TCommand { Save, Item, Lowest };
  const struct {
    const char *Name;
    TCommand Command;
    int FilterIndex;
    const char *File;
  } Writers[] = {{"word processor", Save, 1, "out.DOC"}, {"spreadsheet", Save, 2, "out.XLS"},
                 {"HTML page", Save, 3, "out.HTML"},     {"delimited", Save, 4, "out.CSV"},
                 {"item", Item, 1, "out.csv"},           {"lowest price", Lowest, 1, "out.csv"}};
  std::string Skipped;
  for (const auto &W : Writers)
    for (const kvtest::TTargetCase &C : kvtest::TargetCases) {
      SCOPED_TRACE(std::string(W.Name) + ", " + C.Name);
      kvtest::TSaveTarget Target(Path(std::string(W.Name) + "/" + C.Name), W.File, C.Kind);
      if (!Target.Ready(Skipped))
        continue;
      Boxes.Boxes.clear();
      Dialog.Answers.push_back({true, Target.Path(), W.FilterIndex});
      switch (W.Command) {
      case Save: Commands().mnuFileSaveResultsAsClick(); break;
      case Item: Commands().mnuExportItemClick(); break;
      case Lowest: Commands().mnuExportLowestPriceClick(); break;
      }
      Target.Check(Boxes.Boxes.empty());
      for (const auto &B : Boxes.Boxes)
        EXPECT_EQ(B.Flags, MB_OK | MB_ICONERROR) << B.Text;
      EXPECT_LE(Boxes.Boxes.size(), 1u);
      EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
  if (!Skipped.empty())
    GTEST_SKIP() << "the other cases passed; not tested here: " << Skipped;
}

}  // namespace
