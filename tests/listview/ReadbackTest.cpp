// The exports read back by the programs their users open them with: the HTML
// table by a real HTML parser, the delimited file by LibreOffice Calc and by
// python's csv module, the word-processor document by LibreOffice Writer and
// the workbook by LibreOffice Calc (both written by our stand-ins). Each must
// find the list's cells, byte for byte where the format can hold them.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "components/replistv.h"
#include "demo/Catalogue.h"
#include "platform/office/OfficeStandIns.h"
#include "platform/qt/Codepage.h"
#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

using Rows = std::vector<std::vector<std::string>>;

const std::vector<std::string> kColumns = {"Part Number", "Description", "Manufacturer", "Datasheet",
                                           "Price",       "In Stock",    "Quantity",     "Supplier"};

// Runs the reader script; its standard output is JSON.
QJsonDocument ReadBack(const std::string &Mode, const std::string &File, const std::string &Extra) {
  QProcess p;
  p.setProcessChannelMode(QProcess::SeparateChannels);
  p.start("python3", {QString::fromStdString(kvtest::DataPath("listview", "readback.py")), QString::fromStdString(Mode),
                      QString::fromStdString(File), QString::fromStdString(Extra)});
  if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    ADD_FAILURE() << "reader " << Mode << " failed: " << p.readAllStandardError().toStdString();
    return QJsonDocument();
  }
  QJsonParseError err;
  QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput(), &err);
  EXPECT_EQ(err.error, QJsonParseError::NoError) << err.errorString().toStdString();
  return doc;
}

Rows ToRows(const QJsonArray &A) {
  Rows r;
  for (const QJsonValue &row : A) {
    r.emplace_back();
    for (const QJsonValue &cell : row.toArray())
      r.back().push_back(ToAnsi(cell.toString()));
  }
  return r;
}

// A cell as C escapes, for failure messages.
std::string Shown(const std::string &S) {
  std::string r;
  for (unsigned char c : S.substr(0, 80)) {
    if (c >= 32 && c < 127 && c != '\\') {
      r += static_cast<char>(c);
    } else {
      char b[8];
      snprintf(b, sizeof b, "\\x%02X", c);
      r += b;
    }
  }
  return r;
}

// Where a cell differs, by row and column, so a failure names the first one.
void ExpectSameCells(const Rows &Expected, const Rows &Actual) {
  ASSERT_EQ(Actual.size(), Expected.size());
  for (size_t r = 0; r < Expected.size(); ++r) {
    ASSERT_EQ(Actual[r].size(), Expected[r].size()) << "row " << r;
    for (size_t c = 0; c < Expected[r].size(); ++c)
      ASSERT_TRUE(Actual[r][c] == Expected[r][c]) << "row " << r << " column " << c << ": got \"" << Shown(Actual[r][c])
                                                  << "\", want \"" << Shown(Expected[r][c]) << "\"";
  }
}

std::string Thousands(int N) {
  std::string s = std::to_string(N);
  for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3)
    s.insert(static_cast<size_t>(i), ",");
  return s;
}

// A cell as a document or a sheet keeps it: every kind of line break is a
// line feed, and control bytes other than tab are gone (a sheet keeps DEL,
// which XML allows).
std::string AsKept(const std::string &S, bool KeepDel) {
  std::string r;
  for (size_t i = 0; i < S.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(S[i]);
    if (c == '\r' || c == '\n') {
      r += '\n';
      if (c == '\r' && i + 1 < S.size() && S[i + 1] == '\n')
        ++i;
    } else if (c == '\t' || (c >= 32 && c != 0x7F) || (c == 0x7F && KeepDel)) {
      r += static_cast<char>(c);
    }
  }
  return r;
}

Rows AsKept(Rows R, bool KeepDel) {
  for (auto &row : R)
    for (auto &cell : row)
      cell = AsKept(cell, KeepDel);
  return R;
}

class Readback : public ::testing::Test {
protected:
  kvtest::IsolatedEnv Env;
  TReportListView View;

  void SetUp() override {
    for (const std::string &c : kColumns)
      View.AddColumn(c);
  }
  // 1,000 offers of the demo catalogue, some with the texts that break
  // naive exports.
  void FillFromCatalogue() {
    const std::vector<kvdemo::TOffer> cat =
        kvdemo::LoadCatalogue(std::string(KV_SOURCE_DIR) + "/demo/data/catalogue.csv");
    ASSERT_FALSE(cat.empty());
    View.BeginUpdate();
    for (int i = 0; i < 1000; ++i) {
      const kvdemo::TOffer &o = cat[static_cast<size_t>(i) % cat.size()];
      TReportItem it;
      it.Caption = o.PartNumber;
      std::string desc = o.Description, maker = o.Manufacturer, supplier = o.Shop;
      std::string price = o.Breaks.empty() ? "" : o.Breaks[0].Price;
      if (i % 4 == 0)
        price = Thousands(1000 + i * 37) + ".50";
      if (i % 10 == 3)
        desc += ", <b>bold</b> & \"quoted\" <script>x()</script>";
      if (i % 10 == 5)
        maker.clear();
      if (i % 10 == 7)
        supplier = "\xC9lectronique M\xFCller \x80 \xE7\xE0 \x96";
      if (i % 25 == 11)
        supplier = "two\r\nlines";
      if (i % 50 == 9)
        it.Caption = "LM\"317\",T";
      it.SubItems = {desc, maker, o.Datasheet, price, o.Stock, o.Quantity.empty() ? "" : Thousands(std::stoi(o.Quantity)),
                     supplier};
      if (i % 100 == 42)
        it.SubItems.clear();
      if (i % 100 == 43)
        it.SubItems.insert(it.SubItems.end(), {"extra 1", "extra 2"});
      View.AddItem(it);
    }
    View.EndUpdate();
  }
  // Rows that break naive writers: a 10,000-character text, every control
  // byte, a row without sub-items and one with more than there are columns.
  void AddBadRows() {
    std::string controls;
    for (int b = 1; b < 32; ++b)
      controls += static_cast<char>(b);
    controls += '\x7F';
    std::string huge;
    while (huge.size() < 10000)
      huge += "Long, \"quoted\" <text> & more \xE9 ";
    huge.resize(10000);
    View.AddItem(TReportItem{huge, {huge, controls, "x"}, -1, {}, nullptr});
    View.AddItem(TReportItem{"no sub-items", {}, -1, {}, nullptr});
    View.AddItem(TReportItem{"too many", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}, -1, {}, nullptr});
    View.AddItem(TReportItem{controls, {"", "", ""}, -1, {}, nullptr});
  }
  // The cells a row gives: the caption and its sub-items up to the last
  // column; Pad fills short rows to every column.
  Rows Expected(bool Header, bool Pad) const {
    Rows r;
    if (Header)
      r.push_back(kColumns);
    for (const TReportItem &it : View.Items()) {
      std::vector<std::string> cells{it.Caption};
      for (size_t s = 0; s < it.SubItems.size() && s + 1 < kColumns.size(); ++s)
        cells.push_back(it.SubItems[s]);
      if (Pad)
        cells.resize(kColumns.size());
      r.push_back(cells);
    }
    return r;
  }
};

TEST_F(Readback, HtmlTableThroughAnHtmlParser) {
  FillFromCatalogue();
  // The owner's colours and styles, as the main window gives them.
  View.OnDrawItemProp = [](TReportListView *, int r, int s, TOwnerDrawState, TBrush &B, TFont &F,
                           const std::string &) {
    if (s == -1)
      F.Style |= fsBold;
    if (s == 4) {
      B.Color = clYellow;
      F.Color = clRed;
    }
    if (s == 6 && r % 2)
      F.Style |= fsItalic;
  };
  const std::string file = Env / "results.html";
  View.SaveToHTML(file);
  const QJsonObject doc = ReadBack("html", file, "").object();
  EXPECT_EQ(doc["tables"].toInt(), 1);
  const QJsonArray rows = doc["rows"].toArray();
  ASSERT_EQ(rows.size(), 1001);

  const std::string border = "#" + ColorToHex(SystemColor(10));
  const QJsonArray head = rows[0].toArray();
  ASSERT_EQ(head.size(), 8);
  for (int c = 0; c < 8; ++c) {
    const QJsonObject cell = head[c].toObject();
    EXPECT_EQ(ToAnsi(cell["text"].toString()), kColumns[static_cast<size_t>(c)]);
    EXPECT_TRUE(cell["bold"].toBool());
    EXPECT_EQ(cell["bgcolor"].toString().toStdString(), border);
  }

  Rows texts;
  for (int r = 1; r < rows.size(); ++r) {
    texts.emplace_back();
    const QJsonArray cells = rows[r].toArray();
    for (int c = 0; c < cells.size(); ++c) {
      const QJsonObject cell = cells[c].toObject();
      const std::string text = ToAnsi(cell["text"].toString());
      texts.back().push_back(text);
      SCOPED_TRACE("row " + std::to_string(r) + " column " + std::to_string(c));
      ASSERT_TRUE(cell["nowrap"].toBool());
      // Only the markup the export itself writes: the owner's styles and
      // the empty-cell marker. Nothing from the shops' texts.
      QStringList want;
      if (c == 5)
        want << "font";
      if (c == 0)
        want << "b";
      if (c == 7 && (r - 1) % 2)
        want << "i";
      if (text.empty())
        want << "br";
      QStringList got;
      for (const QJsonValue &t : cell["tags"].toArray())
        got << t.toString();
      ASSERT_EQ(got, want);
      EXPECT_EQ(cell["bgcolor"].toString().toStdString(), c == 5 ? "#FFFF00" : "");
      EXPECT_EQ(cell["color"].toString().toStdString(), c == 5 ? "#FF0000" : "");
    }
  }
  // A row without sub-items is its caption cell alone; every other row has
  // every column.
  Rows want = Expected(false, true);
  for (size_t r = 0; r < want.size(); ++r)
    if (View.Item(static_cast<int>(r)).SubItems.empty())
      want[r].resize(1);
  ExpectSameCells(want, texts);
}

TEST_F(Readback, CsvThroughPythonCsv) {
  FillFromCatalogue();
  View.SetSaveHeader(true);
  const std::string file = Env / "results.csv";
  View.SaveToCSV(file);
  ExpectSameCells(Expected(true, false), ToRows(ReadBack("csv", file, ",").array()));
}

TEST_F(Readback, CsvWithSemicolonsThroughPythonCsv) {
  FillFromCatalogue();
  View.Delimiter = ';';
  const std::string file = Env / "results.txt";
  View.SaveToCSV(file);
  ExpectSameCells(Expected(false, false), ToRows(ReadBack("csv", file, ";").array()));
}

TEST_F(Readback, CsvThroughLibreOfficeCalc) {
  FillFromCatalogue();
  View.SetSaveHeader(true);
  const std::string file = Env / "results.csv";
  View.SaveToCSV(file);
  // Calc keeps a line break inside a cell as a line feed.
  Rows want = Expected(true, true);
  for (auto &row : want)
    for (auto &cell : row)
      for (size_t p; (p = cell.find("\r\n")) != std::string::npos;)
        cell.erase(p, 1);
  ExpectSameCells(want, ToRows(ReadBack("calc", file, std::to_string(kColumns.size())).array()));
}

TEST_F(Readback, BadInputReadsBackWhole) {
  AddBadRows();
  View.SetSaveHeader(true);

  const std::string csv = Env / "bad.csv";
  View.SaveToCSV(csv);
  ExpectSameCells(Expected(true, false), ToRows(ReadBack("csv", csv, ",").array()));

  const std::string html = Env / "bad.html";
  View.SaveToHTML(html);
  const QJsonArray rows = ReadBack("html", html, "").object()["rows"].toArray();
  Rows texts;
  for (int r = 1; r < rows.size(); ++r) {
    texts.emplace_back();
    for (const QJsonValue &cell : rows[r].toArray())
      texts.back().push_back(ToAnsi(cell.toObject()["text"].toString()));
  }
  Rows want = Expected(false, true);
  want[1].resize(1);
  ExpectSameCells(want, texts);
}

// The word-processor and spreadsheet exports through our stand-ins.
class OfficeReadback : public Readback {
protected:
  void SetUp() override {
    Readback::SetUp();
    RegisterOfficeStandIns();
  }

  // Reads the document back; every cell's text, and its alignment into
  // Alignments when given.
  Rows ReadDocument(const std::string &File, std::vector<std::vector<int>> *Alignments = nullptr) {
    const QJsonObject doc = ReadBack("writer", File, "").object();
    EXPECT_EQ(doc["tables"].toInt(), 1);
    Rows texts;
    for (const QJsonValue &row : doc["rows"].toArray()) {
      texts.emplace_back();
      if (Alignments)
        Alignments->emplace_back();
      for (const QJsonValue &cell : row.toArray()) {
        texts.back().push_back(ToAnsi(cell.toObject()["text"].toString()));
        if (Alignments)
          Alignments->back().push_back(cell.toObject()["align"].toInt());
      }
    }
    return texts;
  }
};

TEST_F(OfficeReadback, DocumentThroughLibreOfficeWriter) {
  FillFromCatalogue();
  View.SetColumnAlignment(4, taRightJustify);
  View.SetColumnAlignment(5, taCenter);
  View.SetColumnAlignment(6, taRightJustify);
  const std::string file = Env / "results.doc";
  View.SaveToDOC(file);
  std::vector<std::vector<int>> alignments;
  ExpectSameCells(AsKept(Expected(false, true), false), ReadDocument(file, &alignments));
  const std::vector<int> want = {0, 0, 0, 0, 2, 1, 2, 0};
  for (size_t r = 0; r < alignments.size(); ++r)
    ASSERT_EQ(alignments[r], want) << "row " << r;
}

TEST_F(OfficeReadback, WorkbookThroughLibreOfficeCalc) {
  FillFromCatalogue();
  const std::string file = Env / "results.xls";
  View.SaveToXLS(file);
  ExpectSameCells(AsKept(Expected(false, true), true), ToRows(ReadBack("sheet", file, "").array()));
}

TEST_F(OfficeReadback, BadInputReadsBackWhole) {
  AddBadRows();
  const std::string doc = Env / "bad.doc";
  View.SaveToDOC(doc);
  ExpectSameCells(AsKept(Expected(false, true), false), ReadDocument(doc));
  const std::string xls = Env / "bad.xls";
  View.SaveToXLS(xls);
  ExpectSameCells(AsKept(Expected(false, true), true), ToRows(ReadBack("sheet", xls, "").array()));
}

// Lists wider than the 26 single letters: a range up to "IV" and beyond for
// the sheet, the widest table the word processor takes for the document.
struct WideCase {
  const char *Name;
  int Columns;
  bool Document;
};

void PrintTo(const WideCase &C, std::ostream *Os) { *Os << C.Name; }

const WideCase kWide[] = {
    {"SheetUpToIV", 256, false},
    {"SheetBeyondIV", 300, false},
    {"WidestDocument", 63, true},
};

class WideReadback : public OfficeReadback, public ::testing::WithParamInterface<WideCase> {};

TEST_P(WideReadback, EveryColumnInItsPlace) {
  const WideCase &c = GetParam();
  TReportListView &view = View;
  auto alignment = [](int Col) { return Col % 3 == 1 ? taLeftJustify : Col % 3 == 2 ? taCenter : taRightJustify; };
  for (int col = 1; col <= c.Columns; ++col) {
    if (col > view.ColumnCount())
      view.AddColumn("C" + std::to_string(col));
    view.SetColumnAlignment(col - 1, alignment(col));
  }
  for (int r = 1; r <= 3; ++r) {
    TReportItem it;
    it.Caption = "r" + std::to_string(r);
    for (int col = 2; col <= c.Columns; ++col)
      it.SubItems.push_back(r == 2 && col % 7 == 0 ? "" : "r" + std::to_string(r) + "c" + std::to_string(col));
    view.AddItem(it);
  }
  Rows want;
  for (const TReportItem &it : view.Items()) {
    want.push_back({it.Caption});
    want.back().insert(want.back().end(), it.SubItems.begin(), it.SubItems.end());
  }
  if (c.Document) {
    const std::string file = Env / "wide.doc";
    view.SaveToDOC(file);
    std::vector<std::vector<int>> alignments;
    ExpectSameCells(want, ReadDocument(file, &alignments));
    for (int col = 1; col <= c.Columns; ++col)
      EXPECT_EQ(alignments[0][static_cast<size_t>(col - 1)], col % 3 == 1 ? 0 : col % 3 == 2 ? 1 : 2) << col;
  } else {
    const std::string file = Env / "wide.xls";
    view.SaveToXLS(file);
    ExpectSameCells(want, ToRows(ReadBack("sheet", file, "").array()));
  }
}

INSTANTIATE_TEST_SUITE_P(Office, WideReadback, ::testing::ValuesIn(kWide),
                         [](const ::testing::TestParamInfo<WideCase> &i) { return std::string(i.param.Name); });

}  // namespace
