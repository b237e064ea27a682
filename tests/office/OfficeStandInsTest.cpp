// The word processor and spreadsheet stand-ins on their own: names and
// arguments as automation callers give them, the errors a wrong call gets,
// and the files they write.
#include <gtest/gtest.h>

#include <dirent.h>
#include <functional>

#include "platform/automation/Automation.h"
#include "platform/office/OfficeStandIns.h"
#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

using TObject = std::shared_ptr<IDispatch>;

// The two classes are registered for the whole run, as the client does.
class StandIns : public ::testing::Environment {
public:
  void SetUp() override { RegisterOfficeStandIns(); }
};
::testing::Environment *const kStandIns = ::testing::AddGlobalTestEnvironment(new StandIns);

TObject Word() { return CreateAutomationObject("word.application"); }
TObject Excel() { return CreateAutomationObject("excel.application"); }
TObject NewDocument() { return InvokeObject(*InvokeObject(*Word(), "Documents"), "Add"); }
TObject NewTable(IDispatch &Doc, int Rows, int Columns) {
  TObject range = InvokeObject(Doc, "Range", {0, 0});
  return InvokeObject(*InvokeObject(Doc, "Tables"), "Add", {range, Rows, Columns});
}
TObject CellRange(IDispatch &Table, int Row, int Column) {
  return InvokeObject(*InvokeObject(Table, "Cell", {Row, Column}), "Range");
}
TObject NewBook() { return InvokeObject(*InvokeObject(*Excel(), "WorkBooks"), "Add"); }
TObject NewSheet(IDispatch &Book) { return InvokeObject(*InvokeObject(Book, "WorkSheets"), "Add"); }
// The paragraph format of the one cell of a new table.
TObject Format() { return InvokeObject(*CellRange(*NewTable(*NewDocument(), 1, 1), 1, 1), "ParagraphFormat"); }
TVariantArray2D Array(int Rows, int Columns, std::vector<std::string> Cells) {
  return TVariantArray2D{Rows, Columns, std::move(Cells)};
}
void PutValue(IDispatch &Sheet, const std::string &Range, TVariantArray2D A) {
  InvokeObject(Sheet, "Range", {Range})->Invoke("Value", {std::move(A)});
}
// The text of S between the first From (after Start) and the next To.
std::string Between(const std::string &S, const std::string &From, const std::string &To, size_t Start = 0) {
  const size_t a = S.find(From, Start);
  if (a == std::string::npos)
    return "<no " + From + ">";
  const size_t b = S.find(To, a + From.size());
  return b == std::string::npos ? "<no " + To + ">" : S.substr(a + From.size(), b - a - From.size());
}

std::vector<std::string> FolderEntries(const std::string &Dir) {
  std::vector<std::string> r;
  if (DIR *d = opendir(Dir.c_str())) {
    while (dirent *e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
        r.push_back(e->d_name);
    closedir(d);
  }
  std::sort(r.begin(), r.end());
  return r;
}

struct ProgIdCase {
  const char *Name;
  const char *ProgID;
  bool Known;
};
void PrintTo(const ProgIdCase &C, std::ostream *Os) { *Os << C.Name; }

const ProgIdCase kProgIds[] = {
    {"WordLowerCase", "word.application", true},     {"WordMixedCase", "Word.Application", true},
    {"WordUpperCase", "WORD.APPLICATION", true},     {"ExcelLowerCase", "excel.application", true},
    {"ExcelMixedCase", "Excel.Application", true},   {"Browser", "InternetExplorer.Application", false},
    {"VersionedWord", "word.application.8", false}, {"Empty", "", false},
};

// Creation goes through the automation layer: a name it does not know is
// looked up in the (empty) registry of the test and fails there.
class ProgIdTest : public ::testing::TestWithParam<ProgIdCase> {
protected:
  kvtest::IsolatedEnv Env;
};

TEST_P(ProgIdTest, TheLayerAnswersOnlyTheTwo) {
  const ProgIdCase &c = GetParam();
  if (!c.Known) {
    try {
      CreateAutomationObject(c.ProgID);
      FAIL() << "created";
    } catch (const EOleException &e) {
      EXPECT_EQ(e.Kind(), TOleError::ClassNotFound);
    }
    return;
  }
  TObject app = CreateAutomationObject(c.ProgID);
  ASSERT_TRUE(app);
  // Each answers its own object model and not the other's.
  const bool word = std::string(c.Name).rfind("Word", 0) == 0;
  EXPECT_NO_THROW(InvokeObject(*app, word ? "Documents" : "WorkBooks"));
  EXPECT_THROW(app->Invoke(word ? "WorkBooks" : "Documents", {}), EOleException);
}

INSTANTIATE_TEST_SUITE_P(Office, ProgIdTest, ::testing::ValuesIn(kProgIds),
                         [](const ::testing::TestParamInfo<ProgIdCase> &i) { return std::string(i.param.Name); });

struct ErrorCase {
  std::string Name;
  std::function<void()> Call;
  TOleError Kind;
  std::string Message;
};
void PrintTo(const ErrorCase &C, std::ostream *Os) { *Os << C.Name; }

constexpr TOleError kName = TOleError::UnknownName, kCount = TOleError::BadParamCount,
                    kType = TOleError::TypeMismatch, kFails = TOleError::Exception;

std::vector<ErrorCase> ErrorCases() {
  std::vector<ErrorCase> r = {
      {"UnknownApplicationMember", [] { Word()->Invoke("Visible", {}); }, kName,
       "word.application: unknown name \"Visible\""},
      {"ApplicationPropertySet", [] { Word()->Invoke("Visible", {1}); }, kName,
       "word.application: unknown name \"Visible\""},
      {"DocumentsAddTakesNoArguments", [] { InvokeObject(*Word(), "Documents")->Invoke("Add", {1}); }, kCount,
       "Documents.Add: too many arguments (1 given, at most 0 taken)"},
      {"QuitTakesNoArguments", [] { Excel()->Invoke("Quit", {0}); }, kCount,
       "Quit: too many arguments (1 given, at most 0 taken)"},
      {"QuitTakesNoNamedArguments", [] { Excel()->Invoke("Quit", {}, {{"SaveChanges", 0}}); }, kCount,
       "Quit: too many arguments (1 given, at most 0 taken)"},
      {"CellWithoutColumn", [] { NewTable(*NewDocument(), 2, 3)->Invoke("Cell", {1}); }, kCount,
       "Table.Cell: parameter \"Column\" is required"},
      {"CellUnknownNamedArgument",
       [] { NewTable(*NewDocument(), 2, 3)->Invoke("Cell", {}, {{"rows", 1}, {"column", 1}}); }, kName,
       "Table.Cell: no parameter named \"rows\""},
      {"CellArgumentTwice", [] { NewTable(*NewDocument(), 2, 3)->Invoke("Cell", {1}, {{"ROW", 1}}); }, kName,
       "Table.Cell: parameter \"Row\" given twice"},
      {"CellRowAsText", [] { NewTable(*NewDocument(), 2, 3)->Invoke("Cell", {"1", 1}); }, kType,
       "Table.Cell: argument 1 must be a number"},
      {"CellBelowTable", [] { NewTable(*NewDocument(), 2, 3)->Invoke("Cell", {3, 1}); }, kFails,
       "Table.Cell: there is no cell at row 3, column 1 in a table of 2 rows and 3 columns"},
      {"CellColumnZero", [] { NewTable(*NewDocument(), 2, 3)->Invoke("Cell", {1, 0}); }, kFails,
       "Table.Cell: there is no cell at row 1, column 0 in a table of 2 rows and 3 columns"},
      {"UnknownCellMember", [] { InvokeObject(*NewTable(*NewDocument(), 1, 1), "Cell", {1, 1})->Invoke("Delete", {}); },
       kName, "Cell: unknown name \"Delete\""},
      {"TableWithoutRows", [] { NewTable(*NewDocument(), 0, 3); }, kFails,
       "Tables.Add: NumRows must be at least 1 (0 given)"},
      {"TableTooWide", [] { NewTable(*NewDocument(), 1, 64); }, kFails,
       "Tables.Add: NumColumns must be between 1 and 63 (64 given)"},
      {"TableWithoutRange",
       [] { InvokeObject(*NewDocument(), "Tables")->Invoke("Add", {}, {{"numrows", 1}, {"numcolumns", 1}}); }, kCount,
       "Tables.Add: parameter \"Range\" is required"},
      {"TableRangeNotAnObject", [] { InvokeObject(*NewDocument(), "Tables")->Invoke("Add", {0, 1, 1}); }, kType,
       "Tables.Add: argument 1 must be an object"},
      {"TableRangeNoObject",
       [] { InvokeObject(*NewDocument(), "Tables")->Invoke("Add", {TObject(), 1, 1}); }, kType,
       "Tables.Add: argument 1 must be an object"},
      {"RangeOfAnotherDocument",
       [] {
         TObject other = InvokeObject(*NewDocument(), "Range", {0, 0});
         InvokeObject(*NewDocument(), "Tables")->Invoke("Add", {other, 1, 1});
       },
       kFails, "Tables.Add: the range is not a range of this document"},
      {"RangeNotOfADocument",
       [] {
         TObject cell = InvokeObject(*NewTable(*NewDocument(), 1, 1), "Cell", {1, 1});
         InvokeObject(*NewDocument(), "Tables")->Invoke("Add", {cell, 1, 1});
       },
       kFails, "Tables.Add: the range is not a range of this document"},
      {"RangeBackwards", [] { NewDocument()->Invoke("Range", {5, 2}); }, kFails,
       "Document.Range: Start 5 and End 2 do not make a range"},
      {"AlignmentBeyondRight", [] { Format()->Invoke("Alignment", {3}); }, kFails,
       "ParagraphFormat.Alignment: the value must be 0 (left), 1 (centre) or 2 (right)"},
      {"AlignmentAsText", [] { Format()->Invoke("Alignment", {"2"}); }, kFails,
       "ParagraphFormat.Alignment: the value must be 0 (left), 1 (centre) or 2 (right)"},
      {"AlignmentWithoutValue", [] { Format()->Invoke("Alignment", {}); }, kCount,
       "ParagraphFormat.Alignment: parameter \"Value\" is required"},
      {"UnknownFormatProperty", [] { Format()->Invoke("LeftIndent", {0}); }, kName,
       "ParagraphFormat: unknown name \"LeftIndent\""},
      {"InsertAfterWithoutText", [] { CellRange(*NewTable(*NewDocument(), 1, 1), 1, 1)->Invoke("InsertAfter", {}); },
       kCount, "Range.InsertAfter: parameter \"Text\" is required"},
      {"DocumentSaveAsWithoutName", [] { NewDocument()->Invoke("SaveAs", {}); }, kCount,
       "Document.SaveAs: parameter \"FileName\" is required"},
      {"DocumentSaveAsEmptyName", [] { NewDocument()->Invoke("SaveAs", {""}); }, kFails,
       "Document.SaveAs: cannot create file \"\""},
      {"WorkbookSaveAsNumber", [] { NewBook()->Invoke("SaveAs", {5}); }, kType,
       "Workbook.SaveAs: argument 1 must be a text"},
      {"UnknownWorkbookMember", [] { NewBook()->Invoke("Close", {}); }, kName, "Workbook: unknown name \"Close\""},
      {"RangeOfTwoCells", [] { NewSheet(*NewBook())->Invoke("Range", {"A1", "B2"}); }, kCount,
       "Worksheet.Range: too many arguments (2 given, at most 1 taken)"},
      {"ValueNotAnArray", [] { InvokeObject(*NewSheet(*NewBook()), "Range", {"A1"})->Invoke("Value", {1}); }, kFails,
       "Range.Value: the value must be a two-dimensional array"},
      {"ArrayShorterThanItsBounds", [] { PutValue(*NewSheet(*NewBook()), "A1:B2", Array(2, 2, {"a"})); }, kFails,
       "Range.Value: the array's size does not match its bounds"},
      {"UnknownRangeProperty", [] { InvokeObject(*NewSheet(*NewBook()), "Range", {"A1"})->Invoke("Formula", {"=1"}); },
       kName, "Range: unknown name \"Formula\""},
  };
  // Texts that name no range of the sheet.
  const std::pair<const char *, const char *> badRanges[] = {
      {"Empty", ""},          {"RowZero", "A0"},       {"NoRow", "A"},          {"NoColumn", "1"},
      {"OpenEnd", "A1:"},     {"EndWithoutRow", "A1:B"}, {"BeyondLastColumn", "XFE1"},
      {"BeyondLastRow", "A1048577"}, {"TwoCellsRunTogether", "A1B2"}, {"ThreeCorners", "A1:B2:C3"},
      {"FiveLetters", "AAAAA1"}, {"HugeRow", "A99999999999999999999"}, {"Blank", " A1"},
  };
  for (const auto &[name, text] : badRanges)
    r.push_back({std::string("Range") + name,
                 [t = std::string(text)] { NewSheet(*NewBook())->Invoke("Range", {t}); }, kFails,
                 "Worksheet.Range: \"" + std::string(text) + "\" is not a range of the sheet"});
  return r;
}

class ErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorTest, ClearError) {
  try {
    GetParam().Call();
    FAIL() << "no error";
  } catch (const EOleException &e) {
    EXPECT_EQ(std::string(e.what()), GetParam().Message);
    EXPECT_EQ(e.Kind(), GetParam().Kind);
  }
}

INSTANTIATE_TEST_SUITE_P(Office, ErrorTest, ::testing::ValuesIn(ErrorCases()),
                         [](const ::testing::TestParamInfo<ErrorCase> &i) { return i.param.Name; });

// The same document built with names in any case and arguments by name in
// any order, or by position, is the same file.
TEST(WordStandIn, NamesAndArgumentsInAnyForm) {
  kvtest::TempDir dir;
  {
    TObject doc = NewDocument();
    TObject table = NewTable(*doc, 2, 2);
    CellRange(*table, 1, 1)->Invoke("InsertAfter", {"a"});
    CellRange(*table, 2, 2)->Invoke("InsertAfter", {"b"});
    InvokeObject(*CellRange(*table, 2, 2), "ParagraphFormat")->Invoke("Alignment", {2});
    doc->Invoke("SaveAs", {dir / "positional.doc"});
  }
  {
    TObject doc = InvokeObject(*InvokeObject(*Word(), "DOCUMENTS"), "add");
    TObject range = InvokeObject(*doc, "range", {}, {{"END", 0}, {"start", 0}});
    TObject table =
        InvokeObject(*InvokeObject(*doc, "tables"), "ADD", {}, {{"NumColumns", 2}, {"range", range}, {"numrows", 2}});
    auto cellRange = [&](int Row, int Column) {
      return InvokeObject(*InvokeObject(*table, "cell", {}, {{"column", Column}, {"row", Row}}), "RANGE");
    };
    cellRange(1, 1)->Invoke("insertafter", {}, {{"text", "a"}});
    cellRange(2, 2)->Invoke("InsertAfter", {"b"});
    InvokeObject(*cellRange(2, 2), "paragraphformat")->Invoke("ALIGNMENT", {2});
    doc->Invoke("saveas", {}, {{"filename", dir / "named.doc"}});
  }
  const std::string positional = kvtest::ReadFile(dir / "positional.doc");
  EXPECT_EQ(positional.rfind("{\\rtf1", 0), 0u);
  EXPECT_NE(positional.find("\\qr b\\cell"), std::string::npos);
  EXPECT_EQ(kvtest::ReadFile(dir / "named.doc"), positional);
}

// One table as Rich Text: a row definition with a border and a right edge
// per column, then each cell's paragraph with its alignment and text.
TEST(WordStandIn, TableRowsCellsAndAlignments) {
  kvtest::TempDir dir;
  TObject doc = NewDocument();
  TObject table = NewTable(*doc, 2, 3);
  const char *texts[2][3] = {{"Part", "", "1.00"}, {"second", "x", ""}};
  const int aligns[3] = {0, 1, 2};
  for (int r = 1; r <= 2; ++r)
    for (int c = 1; c <= 3; ++c) {
      if (*texts[r - 1][c - 1])
        CellRange(*table, r, c)->Invoke("InsertAfter", {std::string(texts[r - 1][c - 1])});
      if (aligns[c - 1])
        InvokeObject(*CellRange(*table, r, c), "ParagraphFormat")->Invoke("Alignment", {aligns[c - 1]});
    }
  // InsertAfter adds to what the cell holds.
  CellRange(*table, 2, 1)->Invoke("InsertAfter", {" row"});
  doc->Invoke("SaveAs", {dir / "t.doc"});
  const std::string rtf = kvtest::ReadFile(dir / "t.doc");
  ASSERT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252", 0), 0u);
  EXPECT_EQ(rtf.substr(rtf.size() - 3), "}\r\n");
  const std::string border = "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
                             "\\clbrdrr\\brdrs\\brdrw10";
  const std::string rowDef = "\\trowd\\trgaph108\\trleft-108" + border + "\\cellx3012" + border + "\\cellx6132" +
                             border + "\\cellx9252\r\n";
  const std::string want = rowDef + "\\pard\\intbl\\ql Part\\cell\\pard\\intbl\\qc \\cell\\pard\\intbl\\qr 1.00\\cell\\row\r\n" +
                           rowDef + "\\pard\\intbl\\ql second row\\cell\\pard\\intbl\\qc x\\cell\\pard\\intbl\\qr \\cell\\row\r\n";
  EXPECT_EQ(Between(rtf, "\\fs20\r\n", "\\pard\\par}"), want);
}

struct TextCase {
  const char *Name;
  std::string Text;
  std::string Rtf;
  std::string Xml;
};
void PrintTo(const TextCase &C, std::ostream *Os) { *Os << C.Name; }

const TextCase kTexts[] = {
    {"Plain", "LM317T", "LM317T", "LM317T"},
    {"Empty", "", "", ""},
    {"SpacesKept", "  x  ", "  x  ", "  x  "},
    {"RtfSpecials", "a\\b{c}", "a\\\\b\\{c\\}", "a\\b{c}"},
    {"XmlSpecials", "<b>&\"q\"'", "<b>&\"q\"'", "&lt;b&gt;&amp;&quot;q&quot;'"},
    {"AccentedLetters", "\xC9l\xE8ve M\xFCller", "\\'c9l\\'e8ve M\\'fcller", "\xC3\x89l\xC3\xA8ve M\xC3\xBCller"},
    {"EuroAndDashes", "\x80 \x96 \x97", "\\'80 \\'96 \\'97", "\xE2\x82\xAC \xE2\x80\x93 \xE2\x80\x94"},
    {"UndefinedByte", "a\x81z", "a\\'81z", "a\xC2\x81z"},
    {"CrLf", "two\r\nlines", "two\\line lines", "two&#10;lines"},
    {"LoneLf", "a\nb", "a\\line b", "a&#10;b"},
    {"LoneCr", "a\rb", "a\\line b", "a&#10;b"},
    {"BreaksInARow", "a\r\n\r\n\nb", "a\\line \\line \\line b", "a&#10;&#10;&#10;b"},
    {"Tab", "a\tb", "a\\tab b", "a&#9;b"},
    {"ControlBytesDropped", std::string("\x01" "a\x08\x0B\x0C\x1F" "b\x7F", 8), "ab", "ab\x7F"},
    {"NulDropped", std::string("a\0b", 3), "ab", "ab"},
};

class TextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextTest, DocumentCell) {
  kvtest::TempDir dir;
  TObject doc = NewDocument();
  CellRange(*NewTable(*doc, 1, 1), 1, 1)->Invoke("InsertAfter", {GetParam().Text});
  doc->Invoke("SaveAs", {dir / "t.rtf"});
  EXPECT_EQ(Between(kvtest::ReadFile(dir / "t.rtf"), "\\pard\\intbl\\ql ", "\\cell\\row"), GetParam().Rtf);
}

TEST_P(TextTest, SheetCell) {
  kvtest::TempDir dir;
  TObject book = NewBook();
  PutValue(*NewSheet(*book), "A1", Array(1, 1, {GetParam().Text}));
  book->Invoke("SaveAs", {dir / "t.xls"});
  const std::string xml = kvtest::ReadFile(dir / "t.xls");
  if (GetParam().Text.empty())
    EXPECT_EQ(Between(xml, "<Table>\r\n", "</Table>"), "  ");
  else
    EXPECT_EQ(Between(xml, "<Data ss:Type=\"String\">", "</Data>"), GetParam().Xml);
}

INSTANTIATE_TEST_SUITE_P(Office, TextTest, ::testing::ValuesIn(kTexts),
                         [](const ::testing::TestParamInfo<TextCase> &i) { return std::string(i.param.Name); });

const std::string kXmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                             "<?mso-application progid=\"Excel.Sheet\"?>\r\n"
                             "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"\r\n"
                             " xmlns:o=\"urn:schemas-microsoft-com:office:office\"\r\n"
                             " xmlns:x=\"urn:schemas-microsoft-com:office:excel\"\r\n"
                             " xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">\r\n";

std::string Cell(const std::string &Text, int Index = 0) {
  return (Index ? "<Cell ss:Index=\"" + std::to_string(Index) + "\">" : std::string("<Cell>")) +
         "<Data ss:Type=\"String\">" + Text + "</Data></Cell>";
}

// Cells keep their places: an empty one is skipped by the next one's index,
// an empty row is written empty.
TEST(ExcelStandIn, WholeFileOfASheetAwayFromA1) {
  kvtest::TempDir dir;
  TObject book = NewBook();
  PutValue(*NewSheet(*book), "B2:D3", Array(2, 3, {"a", "", "c", "d", "e", "f"}));
  book->Invoke("SaveAs", {dir / "t.xls"});
  const std::string want = kXmlHead + " <Worksheet ss:Name=\"Sheet1\">\r\n  <Table>\r\n   <Row/>\r\n   <Row>" +
                           Cell("a", 2) + Cell("c", 4) + "</Row>\r\n   <Row>" + Cell("d", 2) + Cell("e") +
                           Cell("f") + "</Row>\r\n  </Table>\r\n </Worksheet>\r\n</Workbook>\r\n";
  EXPECT_EQ(kvtest::ReadFile(dir / "t.xls"), want);
}

TEST(ExcelStandIn, WorkbookWithoutSheetsHasOneEmptySheet) {
  kvtest::TempDir dir;
  TObject book = NewBook();
  book->Invoke("SaveAs", {dir / "t.xls"});
  EXPECT_EQ(kvtest::ReadFile(dir / "t.xls"),
            kXmlHead + " <Worksheet ss:Name=\"Sheet1\">\r\n  <Table>\r\n  </Table>\r\n </Worksheet>\r\n</Workbook>\r\n");
}

// The rows of the first sheet as "A1=x B1=y / A2=..." for comparing.
std::string SheetCells(const std::string &File) {
  const std::string xml = kvtest::ReadFile(File);
  std::string r;
  size_t p = xml.find("<Table>");
  int row = 0;
  for (;;) {
    const size_t rowAt = xml.find("<Row", p), end = xml.find("</Table>", p);
    if (rowAt == std::string::npos || rowAt > end)
      break;
    ++row;
    const size_t rowEnd = xml.find("\r\n", rowAt);
    int column = 0;
    for (size_t c = xml.find("<Cell", rowAt); c < rowEnd; c = xml.find("<Cell", c + 1)) {
      const size_t close = xml.find('>', c);
      const std::string tag = xml.substr(c, close - c);
      const size_t index = tag.find("ss:Index=\"");
      column = index == std::string::npos ? column + 1 : std::stoi(tag.substr(index + 10));
      r += (r.empty() ? "" : " ") + std::string(1, static_cast<char>('A' + column - 1)) + std::to_string(row) + "=" +
           Between(xml, "\">", "</Data>", close);
    }
    p = rowEnd;
  }
  return r;
}

struct PutCase {
  const char *Name;
  std::vector<std::pair<std::string, TVariantArray2D>> Puts;
  std::string Cells;
};
void PrintTo(const PutCase &C, std::ostream *Os) { *Os << C.Name; }

const PutCase kPuts[] = {
    {"ExactFit", {{"A1:B2", Array(2, 2, {"a", "b", "c", "d"})}}, "A1=a B1=b A2=c B2=d"},
    {"CornersReversed", {{"B2:A1", Array(2, 2, {"a", "b", "c", "d"})}}, "A1=a B1=b A2=c B2=d"},
    {"LowerCaseAndDollars", {{"$a$1:b$2", Array(2, 2, {"a", "b", "c", "d"})}}, "A1=a B1=b A2=c B2=d"},
    {"ArrayCutToTheRange", {{"A1", Array(2, 2, {"a", "b", "c", "d"})}}, "A1=a"},
    {"RangeBeyondTheArrayEmptied",
     {{"A1:C3", Array(3, 3, {"1", "2", "3", "4", "5", "6", "7", "8", "9"})}, {"B2:C3", Array(1, 1, {"x"})}},
     "A1=1 B1=2 C1=3 A2=4 B2=x A3=7"},
    {"EmptyTextsClear", {{"A1:B1", Array(1, 2, {"a", "b"})}, {"A1:B1", Array(1, 2, {"", "c"})}}, "B1=c"},
    {"EmptyArrayClears", {{"A1:B1", Array(1, 2, {"a", "b"})}, {"A1:A1", Array(0, 0, {})}}, "B1=b"},
};

class PutTest : public ::testing::TestWithParam<PutCase> {};

TEST_P(PutTest, Cells) {
  kvtest::TempDir dir;
  TObject book = NewBook();
  TObject sheet = NewSheet(*book);
  for (const auto &[range, array] : GetParam().Puts)
    PutValue(*sheet, range, array);
  book->Invoke("SaveAs", {dir / "t.xls"});
  EXPECT_EQ(SheetCells(dir / "t.xls"), GetParam().Cells);
}

INSTANTIATE_TEST_SUITE_P(Office, PutTest, ::testing::ValuesIn(kPuts),
                         [](const ::testing::TestParamInfo<PutCase> &i) { return std::string(i.param.Name); });

// A file that cannot be written gives an error naming it, and nothing is
// left behind: no file, no half-written temporary.
struct TargetCase {
  const char *Name;
  bool Document;
  const char *Target;  // below the test's folder
};
void PrintTo(const TargetCase &C, std::ostream *Os) { *Os << C.Name; }

const TargetCase kTargets[] = {
    {"DocumentInMissingFolder", true, "missing/out.doc"},
    {"DocumentOverAFolder", true, "folder"},
    {"WorkbookInMissingFolder", false, "missing/out.xls"},
    {"WorkbookOverAFolder", false, "folder"},
};

class TargetTest : public ::testing::TestWithParam<TargetCase> {};

TEST_P(TargetTest, ClearErrorAndNoFile) {
  kvtest::TempDir dir;
  ASSERT_EQ(mkdir((dir / "folder").c_str(), 0755), 0);
  const std::string target = dir / GetParam().Target;
  TObject owner = GetParam().Document ? NewDocument() : NewBook();
  try {
    owner->Invoke("SaveAs", {target});
    FAIL() << "no error";
  } catch (const EOleException &e) {
    EXPECT_EQ(std::string(e.what()),
              std::string(GetParam().Document ? "Document" : "Workbook") + ".SaveAs: cannot create file \"" + target +
                  "\"");
  }
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"folder"});
  EXPECT_TRUE(FolderEntries(dir / "folder").empty());
}

INSTANTIATE_TEST_SUITE_P(Office, TargetTest, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<TargetCase> &i) { return std::string(i.param.Name); });

// Saving again replaces the whole file, a longer old one included.
TEST(ExcelStandIn, SaveReplacesTheFile) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir / "t.xls", std::string(100000, 'x'));
  TObject book = NewBook();
  PutValue(*NewSheet(*book), "A1", Array(1, 1, {"new"}));
  book->Invoke("SaveAs", {dir / "t.xls"});
  const std::string xml = kvtest::ReadFile(dir / "t.xls");
  EXPECT_EQ(xml.rfind("<?xml", 0), 0u);
  EXPECT_EQ(xml.find('x' + std::string(10, 'x')), std::string::npos);
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"t.xls"});
}

}  // namespace
