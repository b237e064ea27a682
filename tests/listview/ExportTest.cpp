// The exact bytes of the HTML and delimited exports, and their failures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include <QApplication>
#include <QPalette>

#include "components/CsvWriter.h"
#include "components/replistv.h"
#include "platform/SysUtils.h"
#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

struct FieldCase {
  const char *Name;
  const char *Field;
  char Delimiter;
  const char *Written;
};

const FieldCase kFieldCases[] = {
    {"Plain", "LM317T", ',', "LM317T"},
    {"Empty", "", ',', ""},
    {"Delimiter", "1,234.50", ',', "\"1,234.50\""},
    {"OtherDelimiterLeavesComma", "1,234.50", ';', "1,234.50"},
    {"SemicolonDelimiter", "a;b", ';', "\"a;b\""},
    {"TabDelimiter", "a\tb", '\t', "\"a\tb\""},
    {"Quote", "5\" reel", ',', "\"5\"\" reel\""},
    {"OnlyQuotes", "\"\"", ',', "\"\"\"\"\"\""},
    {"LineFeed", "a\nb", ',', "\"a\nb\""},
    {"CarriageReturn", "a\rb", ',', "\"a\rb\""},
    {"LeadingBlankUntouched", " x ", ',', " x "},
    {"Windows1252Untouched", "R\xE9sistance \x80", ',', "R\xE9sistance \x80"},
    {"ControlBytesUntouched", "a\x01\x1F" "b", ',', "a\x01\x1F" "b"},
    {"MarkupUntouched", "<b>&amp;", ',', "<b>&amp;"},
};

class CsvFieldTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(CsvFieldTest, QuotesOnlyWhatWouldSplit) {
  const FieldCase &c = GetParam();
  EXPECT_EQ(CsvField(c.Field, c.Delimiter), c.Written);
}

INSTANTIATE_TEST_SUITE_P(Fields, CsvFieldTest, ::testing::ValuesIn(kFieldCases),
                         [](const ::testing::TestParamInfo<FieldCase> &i) { return std::string(i.param.Name); });

TEST(CsvLine, JoinsAndEndsWithCrLf) {
  std::string out = "x";
  AppendCsvLine(out, {"A,B", "", "1"}, ',');
  AppendCsvLine(out, {}, ',');
  EXPECT_EQ(out, "x\"A,B\",,1\r\n\r\n");
}

struct HexCase {
  const char *Name;
  TColor Color;
  const char *Hex;
};

const HexCase kHexCases[] = {
    {"Black", clBlack, "000000"},
    {"Red", clRed, "FF0000"},
    {"Blue", clBlue, "0000FF"},
    {"ByteOrder", 0x123456, "563412"},
    {"UpperCase", 0xABCDEF, "EFCDAB"},
    {"NoColourValue", clNone, "FFFFFF"},
};

class ColorToHexTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(ColorToHexTest, RedGreenBlue) { EXPECT_EQ(ColorToHex(GetParam().Color), GetParam().Hex); }

INSTANTIATE_TEST_SUITE_P(Colours, ColorToHexTest, ::testing::ValuesIn(kHexCases),
                         [](const ::testing::TestParamInfo<HexCase> &i) { return std::string(i.param.Name); });

std::string Hex(const QColor &C) {
  char b[7];
  snprintf(b, sizeof b, "%02X%02X%02X", C.red(), C.green(), C.blue());
  return b;
}

TEST(ColorToHexSystem, SystemColoursBecomeTheirRgb) {
  QPalette pal = QGuiApplication::palette();
  pal.setColor(QPalette::Base, QColor(0x12, 0x34, 0x56));
  pal.setColor(QPalette::Window, QColor(0xA1, 0xB2, 0xC3));
  QGuiApplication::setPalette(pal);
  EXPECT_EQ(ColorToHex(clWindow), "123456");
  EXPECT_EQ(ColorToHex(SystemColor(10)), Hex(QGuiApplication::palette().color(QPalette::Window)));
  EXPECT_EQ(ColorToHex(SystemColor(10)), "A1B2C3");
}

class Export : public ::testing::Test {
protected:
  kvtest::IsolatedEnv Env;
  TReportListView View;
  std::string Border;  // the header cells' colour

  void SetUp() override {
    View.AddColumn("Part");
    View.AddColumn("Description");
    View.AddColumn("Price", 50, taRightJustify);
    Border = ColorToHex(SystemColor(10));
  }
  void Row(const std::string &Caption, std::vector<std::string> Subs) {
    View.AddItem(TReportItem{Caption, std::move(Subs), -1, {}, nullptr});
  }
  std::string Head() const {
    return "<table border=1>\r\n<tr>\r\n"
           "<td nowrap BGCOLOR=\"#" + Border + "\"><B>Part</B></td>\r\n"
           "<td nowrap BGCOLOR=\"#" + Border + "\"><B>Description</B></td>\r\n"
           "<td nowrap BGCOLOR=\"#" + Border + "\"><B>Price</B></td>\r\n</tr>\r\n";
  }
  std::string Saved(bool Html) {
    const std::string path = Env / (Html ? "out.html" : "out.csv");
    if (Html)
      View.SaveToHTML(path);
    else
      View.SaveToCSV(path);
    return kvtest::ReadFile(path);
  }
};

TEST_F(Export, HtmlWithoutAHandler) {
  Row("LM317", {"Regulator", "0.45"});
  Row("", {"", "1.00"});
  Row("NE555", {});
  EXPECT_EQ(Saved(true), Head() +
                             "<tr>\r\n<td nowrap>LM317</td>\r\n<td nowrap>Regulator</td>\r\n"
                             "<td nowrap>0.45</td>\r\n</tr>\r\n"
                             "<tr>\r\n<td nowrap><br></td>\r\n<td nowrap><BR></td>\r\n"
                             "<td nowrap>1.00</td>\r\n</tr>\r\n"
                             "<tr>\r\n<td nowrap>NE555</td>\r\n</tr>\r\n"
                             "</table><p>\r\n");
}

TEST_F(Export, HtmlShortRowGetsEmptyCellsAndLongRowIsCut) {
  Row("A", {"only"});
  Row("B", {"d", "p", "beyond the columns"});
  EXPECT_EQ(Saved(true), Head() +
                             "<tr>\r\n<td nowrap>A</td>\r\n<td nowrap>only</td>\r\n<td nowrap><BR></td>\r\n</tr>\r\n"
                             "<tr>\r\n<td nowrap>B</td>\r\n<td nowrap>d</td>\r\n<td nowrap>p</td>\r\n</tr>\r\n"
                             "</table><p>\r\n");
}

TEST_F(Export, HtmlBrushOnlyGivesBackgroundsAndNoFont) {
  QPalette pal = QGuiApplication::palette();
  pal.setColor(QPalette::Base, QColor(0xF0, 0xE0, 0xD0));
  QGuiApplication::setPalette(pal);
  Row("X", {"y", "z"});
  View.OnDrawItemProp = [](TReportListView *, int, int s, TOwnerDrawState, TBrush &B, TFont &, const std::string &) {
    B.Color = s == 1 ? clRed : clWindow;
  };
  EXPECT_EQ(Saved(true), Head() +
                             "<tr>\r\n<td nowrap BGCOLOR=\"#F0E0D0\">X</td>\r\n"
                             "<td nowrap BGCOLOR=\"#F0E0D0\">y</td>\r\n"
                             "<td nowrap BGCOLOR=\"#FF0000\">z</td>\r\n</tr>\r\n</table><p>\r\n");
}

TEST_F(Export, HtmlFontColourAndStyles) {
  Row("X", {"y", ""});
  std::vector<std::pair<int, int>> asked;
  View.OnDrawItemProp = [&](TReportListView *, int r, int s, TOwnerDrawState st, TBrush &B, TFont &F,
                            const std::string &) {
    asked.emplace_back(r, s);
    EXPECT_EQ(st, 0u);
    EXPECT_EQ(B.Color, clNone);
    EXPECT_EQ(F.Color, clNone);
    if (s == -1)
      F.Style |= fsBold;
    if (s == 0) {
      F.Style |= fsBold | fsItalic | fsUnderline;
      F.Color = 0x00FF00;
    }
    if (s == 1)
      F.Style |= fsItalic;
  };
  EXPECT_EQ(Saved(true), Head() +
                             "<tr>\r\n<td nowrap><B>X</B></td>\r\n"
                             "<td nowrap><font color=\"#00FF00\"><B><I>y</I></B></font></td>\r\n"
                             "<td nowrap><I><BR></I></td>\r\n</tr>\r\n</table><p>\r\n");
  EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{0, -1}, {0, 0}, {0, 1}}));
}

// More colour and style combinations than any cache of them holds: every
// cell still gets its own.
TEST_F(Export, HtmlManyDifferentDressings) {
  for (int r = 0; r < 100; ++r)
    Row("P" + std::to_string(r), {"d", "p"});
  auto colourOf = [](int r, int s) { return static_cast<TColor>((r * 0x030507 + (s + 1) * 0x1000) & 0xFFFFFF); };
  View.OnDrawItemProp = [&](TReportListView *, int r, int s, TOwnerDrawState, TBrush &B, TFont &F,
                            const std::string &) {
    B.Color = colourOf(r, s);
    if ((r + s) % 2)
      F.Style |= fsBold;
    if (s == 1)
      F.Color = colourOf(s, r);
  };
  std::string want = Head();
  for (int r = 0; r < 100; ++r) {
    want += "<tr>\r\n";
    const std::string texts[] = {"P" + std::to_string(r), "d", "p"};
    for (int s = -1; s <= 1; ++s) {
      const bool bold = (r + s) % 2 != 0;
      std::string cell = "<td nowrap BGCOLOR=\"#" + ColorToHex(colourOf(r, s)) + "\">";
      if (s == 1)
        cell += "<font color=\"#" + ColorToHex(colourOf(s, r)) + "\">";
      cell += (bold ? "<B>" : "") + texts[s + 1] + (bold ? "</B>" : "");
      if (s == 1)
        cell += "</font>";
      want += cell + "</td>\r\n";
    }
    want += "</tr>\r\n";
  }
  EXPECT_EQ(Saved(true), want + "</table><p>\r\n");
}

TEST_F(Export, HtmlEscapesShopTextsButKeepsItsMarkers) {
  View.SetColumnCaption(1, "Desc <&>");
  Row("<script>alert(\"x\")</script>", {"A & B > C", "\"5\""});
  const std::string html = Saved(true);
  EXPECT_NE(html.find("<td nowrap BGCOLOR=\"#" + Border + "\"><B>Desc &lt;&amp;&gt;</B></td>"), std::string::npos);
  EXPECT_NE(html.find("<td nowrap>&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;</td>"), std::string::npos);
  EXPECT_NE(html.find("<td nowrap>A &amp; B &gt; C</td>"), std::string::npos);
  EXPECT_NE(html.find("<td nowrap>&quot;5&quot;</td>"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
}

TEST_F(Export, CsvLinesAndHeader) {
  Row("A,B", {"1", "2"});
  Row("C", {});
  Row("D", {"say \"hi\"", "1,234.50", "beyond"});
  EXPECT_EQ(Saved(false), "\"A,B\",1,2\r\nC\r\nD,\"say \"\"hi\"\"\",\"1,234.50\"\r\n");
  View.SetSaveHeader(true);
  View.SetColumnCaption(2, "Price, each");
  EXPECT_EQ(Saved(false), "Part,Description,\"Price, each\"\r\n\"A,B\",1,2\r\nC\r\nD,\"say \"\"hi\"\"\",\"1,234.50\"\r\n");
}

TEST_F(Export, CsvOtherDelimiter) {
  View.Delimiter = ';';
  View.SetSaveHeader(true);
  Row("A,B", {"1;2", "x"});
  EXPECT_EQ(Saved(false), "Part;Description;Price\r\nA,B;\"1;2\";x\r\n");
}

TEST_F(Export, RowsInDisplayOrder) {
  Row("b", {"2"});
  Row("a", {"1"});
  Row("c", {"3"});
  View.SetSortShow(false);
  View.SetSortColumn(0);
  View.MoveItem(2, 0);
  EXPECT_EQ(Saved(false), "c,3\r\na,1\r\nb,2\r\n");
}

struct FailCase {
  const char *Name;
  bool Columns, Rows;
  const char *Target;  // below the test's folder
  bool NoRowsError;    // else a file error
};

const FailCase kFailCases[] = {
    {"NoRows", true, false, "out.file", true},
    {"NoColumns", false, true, "out.file", true},
    {"Nothing", false, false, "out.file", true},
    {"MissingFolder", true, true, "missing/out.file", false},
    {"TargetIsAFolder", true, true, "folder", false},
};

class ExportFails : public ::testing::TestWithParam<FailCase> {};

TEST_P(ExportFails, ClearErrorAndNoFile) {
  const FailCase &c = GetParam();
  kvtest::IsolatedEnv env;
  mkdir((env / "folder").c_str(), 0755);
  for (bool html : {true, false}) {
    SCOPED_TRACE(html ? "html" : "csv");
    TReportListView v;
    if (c.Columns)
      v.AddColumn("Part");
    if (c.Rows)
      v.AddItem(TReportItem{"LM317", {"x"}, -1, {}, nullptr});
    const std::string target = env / c.Target;
    const bool existed = kvtest::FileExists(target);
    try {
      html ? v.SaveToHTML(target) : v.SaveToCSV(target);
      ADD_FAILURE() << "no error";
    } catch (const EInOutError &e) {
      EXPECT_FALSE(c.NoRowsError) << e.what();
      EXPECT_NE(std::string(e.what()).find(target), std::string::npos);
    } catch (const Exception &e) {
      EXPECT_TRUE(c.NoRowsError) << e.what();
      EXPECT_EQ(std::string(e.what()), "There is nothing to export: the list has no rows.");
    }
    EXPECT_EQ(kvtest::FileExists(target), existed);
  }
  // No temporary file is left behind either.
  for (const auto &e : std::filesystem::recursive_directory_iterator(env.Root()))
    EXPECT_EQ(e.path().filename().string().find(".kvtmp"), std::string::npos) << e.path();
}

INSTANTIATE_TEST_SUITE_P(Exports, ExportFails, ::testing::ValuesIn(kFailCases),
                         [](const ::testing::TestParamInfo<FailCase> &i) { return std::string(i.param.Name); });

TEST_F(Export, FailedExportKeepsTheEarlierFile) {
  const std::string path = Env / "results.csv";
  kvtest::WriteFile(path, "earlier, good\r\n");
  TReportListView empty;
  empty.AddColumn("Part");
  EXPECT_THROW(empty.SaveToCSV(path), Exception);
  EXPECT_THROW(empty.SaveToHTML(path), Exception);
  EXPECT_EQ(kvtest::ReadFile(path), "earlier, good\r\n");
  Row("new", {"row"});
  View.SaveToCSV(path);
  EXPECT_EQ(kvtest::ReadFile(path), "new,row\r\n");
}

}  // namespace
